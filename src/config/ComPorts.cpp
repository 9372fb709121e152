// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ComPorts.h"

#include "config/Messages.h"

#include <algorithm>

namespace kestrova {

namespace {

using settings::ComPortCount;

// The "Com<N> Device" key's text, empty when there is none; nothing when it cannot be read.
std::optional<QString> comKeyText(const SettingsStore& store, int number)
{
    return store.read(QLatin1String(settings::SerialSection), settings::comDeviceKey(number),
                      QString());
}

// The listed port a device name leads to, or -1.
qsizetype portFor(const QString& device, const QList<SerialPortInfo>& ports,
                  const SerialPortEnumerator& enumerator)
{
    if (device.isEmpty())
        return -1;
    const QString target = enumerator.resolve(device);
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const SerialPortInfo& port = ports[i];
        if (device == port.devicePath || device == port.stableName ||
            port.otherNames.contains(device))
            return i;
        if (!target.isEmpty() && target == enumerator.resolve(port.devicePath))
            return i;
    }
    return -1;
}

bool isAdapter(const SerialPortInfo& port)
{
    return !port.builtIn;
}

// "FT232R USB UART (FTDI, serial A50285BI)".
QString describe(const SerialPortInfo& port)
{
    if (port.builtIn)
        return QStringLiteral("built-in serial port");
    QString text = port.description.isEmpty() ? QStringLiteral("serial adapter") : port.description;
    QStringList facts;
    if (!port.manufacturer.isEmpty())
        facts << port.manufacturer;
    if (!port.serialNumber.isEmpty())
        facts << QStringLiteral("serial %1").arg(port.serialNumber);
    if (!facts.isEmpty())
        text += QStringLiteral(" (%1)").arg(facts.join(QStringLiteral(", ")));
    return text;
}

// What a present Com number is and where it is now: "FT232R ... (...), /dev/ttyUSB0".
QString presentDescription(const ComPort& com)
{
    if (!com.port)
        return com.device;
    return describe(*com.port) + QStringLiteral(", ") + com.port->devicePath;
}

QString noNumberText()
{
    return QStringLiteral("no Com number, all %1 are taken").arg(ComPortCount);
}

QString hexId(int id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

} // namespace

ComDevice comDevice(const SettingsStore& store, int commPortNumber)
{
    const std::optional<QString> stored = comKeyText(store, commPortNumber);
    if (!stored)
        return {QString(), messages::comKeyUnreadable(settings::comDeviceKey(commPortNumber))};
    return {stored->isEmpty() ? settings::defaultComDevice(commPortNumber) : *stored, QString()};
}

int ComPortTable::numberOf(const SerialPortInfo& adapter) const
{
    for (const ComPort& com : coms)
        if (com.port && com.port->devicePath == adapter.devicePath)
            return com.number;
    return 0;
}

ComPortTable lookForSerialPorts(SettingsStore& store, const SerialPortEnumerator& enumerator)
{
    const QList<SerialPortInfo> ports = enumerator.ports();
    QStringList keys; // keys[N - 1]: the stored "Com<N> Device", empty when there is none
    QList<bool> unreadable;
    for (int number = 1; number <= ComPortCount; ++number) {
        const std::optional<QString> key = comKeyText(store, number);
        keys << key.value_or(QString());
        unreadable << !key;
    }

    QList<bool> numbered(ports.size(), false);
    for (const QString& key : keys)
        if (const qsizetype port = portFor(key, ports, enumerator); port >= 0)
            numbered[port] = true;

    const auto taken = [&](int number) {
        if (!keys[number - 1].isEmpty() || unreadable[number - 1])
            return true;
        const QString builtIn = QStringLiteral("ttyS%1").arg(number - 1);
        return std::any_of(ports.begin(), ports.end(), [&](const SerialPortInfo& port) {
            return port.name == builtIn && port.hasUart;
        });
    };

    ComPortTable table;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (!isAdapter(ports[i]))
            continue;
        table.adapters << ports[i];
        if (numbered[i])
            continue;
        int number = 1;
        while (number <= ComPortCount && taken(number))
            ++number;
        if (number > ComPortCount) {
            table.withoutNumber << ports[i];
            continue;
        }
        keys[number - 1] = ports[i].storedName();
        numbered[i] = true;
        if (std::optional<Failure> failure =
                store.save({{QLatin1String(settings::SerialSection), settings::comDeviceKey(number),
                             keys[number - 1]}});
            failure && !table.failure)
            table.failure = std::move(failure);
    }

    for (int number = 1; number <= ComPortCount; ++number) {
        ComPort com;
        com.number = number;
        com.unreadable = unreadable[number - 1];
        com.assigned = !keys[number - 1].isEmpty() || com.unreadable;
        com.device = com.assigned ? keys[number - 1] : settings::defaultComDevice(number);
        if (const qsizetype port = portFor(com.device, ports, enumerator); port >= 0) {
            com.port = ports[port];
            com.present = ports[port].usable();
        } else {
            com.present = !enumerator.resolve(com.device).isEmpty();
        }
        table.coms << com;
    }
    return table;
}

QString comToolTip(const ComPort& com)
{
    // An adapter is plugged in or not; a built-in port, or another device a key names, is
    // present. A key whose device is missing most often names an adapter unplugged.
    if (com.unreadable)
        return QStringLiteral("Com%1: %2")
            .arg(com.number)
            .arg(messages::comKeyUnreadable(settings::comDeviceKey(com.number)));
    QString state;
    if (com.port ? isAdapter(*com.port) : com.assigned && !com.present)
        state = com.present ? QStringLiteral("plugged in") : QStringLiteral("not plugged in");
    else
        state = com.present ? QStringLiteral("present") : QStringLiteral("not present");
    if (com.present && com.port)
        return QStringLiteral("Com%1: %2, %3").arg(com.number).arg(presentDescription(com), state);
    return QStringLiteral("Com%1: %2, %3").arg(com.number).arg(com.device, state);
}

QString presentPortsText(const ComPortTable& table)
{
    QStringList lines;
    for (const ComPort& com : table.coms)
        if (com.present)
            lines << QStringLiteral("Com%1: %2").arg(com.number).arg(presentDescription(com));
    for (const SerialPortInfo& adapter : table.withoutNumber)
        lines << QStringLiteral("%1, %2: %3")
                     .arg(describe(adapter), adapter.devicePath, noNumberText());
    if (lines.isEmpty())
        return QString::fromLatin1(messages::NoSerialPortPresent);
    return messages::serialPortsPresent(lines.join(QLatin1Char('\n')));
}

QString listPortsText(const ComPortTable& table)
{
    // The Com table: number, device, present or not, description.
    QList<QStringList> rows{{QStringLiteral("Com"), QStringLiteral("Device"),
                             QStringLiteral("Present"), QStringLiteral("Description")}};
    for (const ComPort& com : table.coms)
        rows << QStringList{QStringLiteral("Com%1").arg(com.number), com.device,
                            com.present ? QStringLiteral("yes") : QStringLiteral("no"),
                            com.unreadable ? QStringLiteral("its \"%1\" cannot be read")
                                                 .arg(settings::comDeviceKey(com.number))
                            : !com.present || !com.port          ? QString()
                            : com.port->devicePath == com.device ? describe(*com.port)
                                                                 : presentDescription(com)};
    QList<qsizetype> widths(3, 0);
    for (const QStringList& row : rows)
        for (int column = 0; column < 3; ++column)
            widths[column] = std::max(widths[column], row[column].size());
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (int column = 0; column < 3; ++column)
            line += row[column].leftJustified(widths[column] + 2);
        text += (line + row[3]).trimmed() + QLatin1Char('\n');
    }

    text += QLatin1Char('\n');
    if (table.adapters.isEmpty())
        return text + QStringLiteral("No serial adapter is plugged in.\n");
    text += QStringLiteral(
        "ModemManager, where it is installed, probes every serial adapter plugged in by "
        "switching its lines, which can fire the shutter. To keep it away from an adapter, put "
        "the adapter's rule below into /etc/udev/rules.d/70-kestrova.rules, run "
        "\"sudo udevadm control --reload\" and plug the adapter in again.\n");
    for (const SerialPortInfo& adapter : table.adapters) {
        const int number = table.numberOf(adapter);
        text += QStringLiteral("\n%1: %2, %3\n")
                    .arg(number ? QStringLiteral("Com%1").arg(number) : noNumberText(),
                         describe(adapter), adapter.devicePath);
        if (adapter.vendorId < 0 || adapter.productId < 0)
            text += QStringLiteral("  (no USB vendor and product id known: no rule)\n");
        else
            text += QStringLiteral("  ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\", "
                                   "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n")
                        .arg(hexId(adapter.vendorId), hexId(adapter.productId));
    }
    return text;
}

} // namespace kestrova
