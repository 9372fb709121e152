// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/SystemSerialPorts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

namespace kestrova {

namespace {

QString readAttribute(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(256)).simplified();
}

int readHexId(const QString& path)
{
    bool ok = false;
    const int id = readAttribute(path).toInt(&ok, 16);
    return ok ? id : -1;
}

// "ttyUSB10" -> {"ttyUSB", 10}, so that ttyUSB2 sorts before ttyUSB10.
std::pair<QString, long> nameKey(const QString& name)
{
    qsizetype digits = name.size();
    while (digits > 0 && name[digits - 1].isDigit())
        --digits;
    return {name.left(digits), name.mid(digits).toLong()};
}

// A ttyS port of the serial core, as opposed to ttyUSB, ttyACM and the like.
bool isBuiltInName(const QString& name)
{
    const auto [prefix, number] = nameKey(name);
    return prefix == QLatin1String("ttyS") && name.size() > prefix.size();
}

// The USB device above a tty's device: the first folder upwards with an idVendor attribute.
void readUsbIdentity(const QString& deviceLink, const QString& sysRoot, SerialPortInfo& port)
{
    QString folder = QFileInfo(deviceLink).canonicalFilePath();
    for (int depth = 0; depth < 6 && folder.startsWith(sysRoot) && folder != sysRoot; ++depth) {
        if (QFileInfo::exists(folder + QLatin1String("/idVendor"))) {
            port.vendorId = readHexId(folder + QLatin1String("/idVendor"));
            port.productId = readHexId(folder + QLatin1String("/idProduct"));
            port.description = readAttribute(folder + QLatin1String("/product"));
            port.manufacturer = readAttribute(folder + QLatin1String("/manufacturer"));
            port.serialNumber = readAttribute(folder + QLatin1String("/serial"));
            return;
        }
        folder = QFileInfo(folder).path();
    }
}

} // namespace

SystemSerialPorts::SystemSerialPorts(QString sysRoot, QString devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot))
{
}

QList<SerialPortInfo> SystemSerialPorts::ports() const
{
    // The links udev keeps under /dev/serial, by the device file they lead to.
    QHash<QString, QStringList> links;
    QHash<QString, QString> byId;
    for (const char* kind : {"by-id", "by-path"}) {
        const QDir folder(devRoot_ + QLatin1String("/serial/") + QLatin1String(kind));
        const QFileInfoList entries = folder.entryInfoList(
            QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& entry : entries) {
            const QString target = entry.canonicalFilePath();
            if (target.isEmpty())
                continue;
            links[target] << entry.absoluteFilePath();
            if (qstrcmp(kind, "by-id") == 0 && !byId.contains(target))
                byId.insert(target, entry.absoluteFilePath());
        }
    }

    const QString sysRoot = QFileInfo(sysRoot_).canonicalFilePath();
    const QDir ttyClass(sysRoot_ + QLatin1String("/class/tty"));
    QList<SerialPortInfo> found;
    for (const QString& name :
         ttyClass.entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot)) {
        const QString entry = ttyClass.filePath(name);
        // Only ports with hardware behind them have a device; virtual terminals and
        // pseudo-terminals do not.
        if (!QFileInfo::exists(entry + QLatin1String("/device")))
            continue;
        SerialPortInfo port;
        port.name = name;
        port.devicePath = devRoot_ + QLatin1Char('/') + name;
        port.builtIn = isBuiltInName(name);
        if (port.builtIn) {
            // The serial core shows the UART type; 0 (PORT_UNKNOWN) means no UART answered.
            // A type that cannot be read keeps the port, and its Com number, as it was.
            const QString type = readAttribute(entry + QLatin1String("/type"));
            port.hasUart = type != QLatin1String("0");
        } else {
            readUsbIdentity(entry + QLatin1String("/device"), sysRoot, port);
        }
        const QString target = QFileInfo(port.devicePath).canonicalFilePath();
        port.stableName = byId.value(target);
        port.otherNames = links.value(target);
        found << port;
    }
    std::sort(found.begin(), found.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return nameKey(a.name) < nameKey(b.name);
    });
    return found;
}

QString SystemSerialPorts::resolve(const QString& deviceName) const
{
    if (deviceName.isEmpty())
        return {};
    // A bare name opens under /dev, as the serial port does it.
    const QString path =
        QDir::isAbsolutePath(deviceName) ? deviceName : devRoot_ + QLatin1Char('/') + deviceName;
    return QFileInfo(path).canonicalFilePath();
}

} // namespace kestrova
