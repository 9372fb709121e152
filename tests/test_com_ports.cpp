// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ComPorts.h"
#include "fakes/FakeSerialPorts.h"
#include "fakes/MemoryStore.h"
#include "shutter/SerialPortEnumerator.h"

#include <QtTest>

using namespace kestrova;
using test::FakeSerialPorts;
using test::MemoryStore;

namespace {

const QString SerialSection = QLatin1String(settings::SerialSection);

// "Com2=ftdi Com7=/dev/pts/3": the "Com<N> Device" keys, adapters by their kind.
void storeKeys(MemoryStore& store, const QString& keys)
{
    for (const QString& pair : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString value = pair.section(QLatin1Char('='), 1);
        const QString stable = FakeSerialPorts::stableName(value);
        store.values.insert(SerialSection + QLatin1Char('/') +
                                pair.section(QLatin1Char('='), 0, 0) + QStringLiteral(" Device"),
                            stable.isEmpty() ? value : stable);
    }
}

QString storedKeys(const SettingsStore& store)
{
    QStringList pairs;
    for (int number = 1; number <= 16; ++number) {
        QString value = store.read(SerialSection, settings::comDeviceKey(number), QString());
        for (const char* kind : {"ftdi", "ch340"})
            if (value == FakeSerialPorts::stableName(QLatin1String(kind)))
                value = QLatin1String(kind);
        if (!value.isEmpty())
            pairs << QStringLiteral("Com%1=%2").arg(number).arg(value);
    }
    return pairs.join(QLatin1Char(' '));
}

QString allSixteenTaken()
{
    QStringList pairs;
    for (int number = 1; number <= 16; ++number)
        pairs << QStringLiteral("Com%1=/dev/pts/%1").arg(number);
    return pairs.join(QLatin1Char(' '));
}

// A file tree standing for /sys and /dev.
struct FakeSystem {
    QTemporaryDir root;
    QString sys = root.filePath(QStringLiteral("sys"));
    QString dev = root.filePath(QStringLiteral("dev"));

    void write(const QString& path, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(path));
    }
    void link(const QString& target, const QString& link)
    {
        QDir().mkpath(QFileInfo(link).path());
        if (!QFile::link(target, link))
            qFatal("cannot link %s", qPrintable(link));
    }
    // A ttyS port of the serial core with its UART type.
    void builtIn(const QString& name, const char* type)
    {
        const QString device = sys + QStringLiteral("/devices/pnp0/00:0") + name.right(1);
        QDir().mkpath(device);
        write(sys + QStringLiteral("/class/tty/") + name + QStringLiteral("/type"), type);
        link(device, sys + QStringLiteral("/class/tty/") + name + QStringLiteral("/device"));
        write(dev + QLatin1Char('/') + name, {});
    }
    // A USB adapter: the USB device with its attributes, its interface, the tty under it.
    void usb(const QString& name, const QString& busPort, const QMap<QString, QByteArray>& attrs)
    {
        const QString usbDevice = sys + QStringLiteral("/devices/pci0000:00/usb1/") + busPort;
        for (auto it = attrs.begin(); it != attrs.end(); ++it)
            write(usbDevice + QLatin1Char('/') + it.key(), it.value() + '\n');
        const QString port =
            usbDevice + QLatin1Char('/') + busPort + QStringLiteral(":1.0/") + name;
        QDir().mkpath(port + QStringLiteral("/tty/") + name);
        link(port, sys + QStringLiteral("/class/tty/") + name + QStringLiteral("/device"));
        write(dev + QLatin1Char('/') + name, {});
    }
};

} // namespace

class TestComPorts : public QObject {
    Q_OBJECT
private slots:
    void assignment_data();
    void assignment();
    void numbersSurviveARestart();
    void texts();
    void listPortsOutput();
    void systemPortsFromSysfs();
};

// Com<N> keys before and after one look, with the ports plugged in; "all16" stands for every
// number taken by a hand-written key.
// clang-format off
const struct {
    const char* name;
    const char* keysBefore;
    const char* plugged;
    const char* keysAfter;
    int withoutNumber;
} AssignmentRows[] = {
    {"first adapter on an empty store", "", "ftdi@ttyUSB0", "Com1=ftdi", 0},
    {"first adapter beside a real ttyS0 and phantom ttyS1-3", "", "S0 s1 s2 s3 ftdi@ttyUSB0", "Com2=ftdi", 0},
    {"second adapter takes the next free number", "Com2=ftdi", "S0 s1 ftdi@ttyUSB0 ch340@ttyUSB1", "Com2=ftdi Com3=ch340", 0},
    {"two new adapters at once, in the kernel's order", "", "S0 ftdi@ttyUSB0 ch340@ttyUSB1", "Com2=ftdi Com3=ch340", 0},
    {"unplugged adapter keeps its number from a newcomer", "Com1=ftdi", "ch340@ttyUSB0", "Com1=ftdi Com2=ch340", 0},
    {"plugged back in another socket keeps its number", "Com1=ftdi Com2=ch340", "ch340@ttyUSB0 ftdi@ttyUSB3", "Com1=ftdi Com2=ch340", 0},
    {"adapter without a by-id name is stored by its device", "", "acm@ttyACM0", "Com1=/dev/ttyACM0", 0},
    {"hand-written key for the adapter's device wins", "Com7=/dev/ttyUSB0", "ftdi@ttyUSB0", "Com7=/dev/ttyUSB0", 0},
    {"hand-written key elsewhere is kept and skipped", "Com1=/dev/pts/7", "ftdi@ttyUSB0", "Com1=/dev/pts/7 Com2=ftdi", 0},
    {"real ttyS ports keep their numbers, phantom ones do not", "", "S0 s1 S2 s3 ftdi@ttyUSB0 ch340@ttyUSB1", "Com2=ftdi Com4=ch340", 0},
    {"all 16 numbers taken: no number, nothing overwritten", "all16", "ftdi@ttyUSB0", "all16", 1}};
// clang-format on

void TestComPorts::assignment_data()
{
    QTest::addColumn<QString>("keysBefore");
    QTest::addColumn<QString>("plugged");
    QTest::addColumn<QString>("keysAfter");
    QTest::addColumn<int>("withoutNumber");
    const auto keys = [](const char* text) {
        return qstrcmp(text, "all16") == 0 ? allSixteenTaken() : QString::fromLatin1(text);
    };
    for (const auto& row : AssignmentRows)
        QTest::newRow(row.name) << keys(row.keysBefore) << QString::fromLatin1(row.plugged)
                                << keys(row.keysAfter) << row.withoutNumber;
}

void TestComPorts::assignment()
{
    QFETCH(QString, keysBefore);
    QFETCH(QString, plugged);
    QFETCH(QString, keysAfter);
    QFETCH(int, withoutNumber);

    MemoryStore store;
    storeKeys(store, keysBefore);
    FakeSerialPorts ports;
    ports.plug(plugged);
    const ComPortTable table = lookForSerialPorts(store, ports);
    QCOMPARE(storedKeys(store), keysAfter);
    QCOMPARE(table.withoutNumber.size(), withoutNumber);
    QVERIFY(table.saved);

    // Every adapter plugged in has a number leading to it, unless none was free.
    for (const SerialPortInfo& adapter : table.adapters) {
        const int number = table.numberOf(adapter);
        QCOMPARE(number == 0, withoutNumber > 0);
        if (number)
            QCOMPARE(ports.resolve(comDevice(store, number)), adapter.devicePath);
    }
    // Looking again changes nothing.
    const QStringList savesBefore = store.saves;
    lookForSerialPorts(store, ports);
    QCOMPARE(store.saves, savesBefore);
}

void TestComPorts::numbersSurviveARestart()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Kestrova.conf"));
    FakeSerialPorts ports;
    {
        QSettingsStore store(file);
        ports.plug(QStringLiteral("s0 ftdi@ttyUSB0"));
        lookForSerialPorts(store, ports);
    }
    // After a restart the adapter sits in another socket and a second one has come.
    QSettingsStore store(file);
    ports.plug(QStringLiteral("s0 ch340@ttyUSB0 ftdi@ttyUSB1"));
    const ComPortTable table = lookForSerialPorts(store, ports);
    QCOMPARE(storedKeys(QSettingsStore(file)), QStringLiteral("Com1=ftdi Com2=ch340"));
    QCOMPARE(comDevice(store, 1), FakeSerialPorts::stableName(QStringLiteral("ftdi")));
    QCOMPARE(table.coms[0].port->devicePath, QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(comDevice(store, 3), QStringLiteral("/dev/ttyS2"));

    // A store that refuses the write is told; the number is used for this run all the same.
    MemoryStore refusing;
    refusing.refuseWrites = true;
    const ComPortTable unsaved = lookForSerialPorts(refusing, ports);
    QVERIFY(!unsaved.saved);
    QCOMPARE(unsaved.numberOf(ports.list[2]), 2);
}

void TestComPorts::texts()
{
    MemoryStore store;
    storeKeys(store, QStringLiteral("Com3=ftdi Com4=ch340 Com5=/dev/pts/3 Com6=/dev/pts/9"));
    FakeSerialPorts ports;
    ports.plug(QStringLiteral("S0 s1 ftdi@ttyUSB0"));
    ports.otherFiles << QStringLiteral("/dev/pts/3");
    const ComPortTable table = lookForSerialPorts(store, ports);

    const char* const toolTips[] = {
        "Com1: built-in serial port, /dev/ttyS0, present",
        "Com2: /dev/ttyS1, not present",
        "Com3: FT232R USB UART (FTDI, serial A50285BI), /dev/ttyUSB0, plugged in",
        "Com4: /dev/serial/by-id/usb-1a86_USB_Serial-if00-port0, not plugged in",
        "Com5: /dev/pts/3, present",
        "Com6: /dev/pts/9, not plugged in",
        "Com7: /dev/ttyS6, not present"};
    for (int i = 0; i < int(std::size(toolTips)); ++i)
        QCOMPARE(comToolTip(table.coms[i]), QLatin1String(toolTips[i]));

    QCOMPARE(presentPortsText(table),
             QStringLiteral("Serial ports present now:\n"
                            "Com1: built-in serial port, /dev/ttyS0\n"
                            "Com3: FT232R USB UART (FTDI, serial A50285BI), /dev/ttyUSB0\n"
                            "Com5: /dev/pts/3\n"
                            "Choose the Com number under Options..., then Interface, Serial."));
    MemoryStore empty;
    ports.plug(QStringLiteral("s0"));
    QCOMPARE(presentPortsText(lookForSerialPorts(empty, ports)),
             QStringLiteral("No serial port is present now. Plug in the serial adapter, then "
                            "choose Interface, Serial."));

    MemoryStore full;
    storeKeys(full, allSixteenTaken());
    ports.plug(QStringLiteral("ch340@ttyUSB1"));
    QCOMPARE(presentPortsText(lookForSerialPorts(full, ports)),
             QStringLiteral("Serial ports present now:\n"
                            "Com3: /dev/pts/3\n"
                            "USB Serial, /dev/ttyUSB1: no Com number, all 16 are taken\n"
                            "Choose the Com number under Options..., then Interface, Serial."));
}

void TestComPorts::listPortsOutput()
{
    MemoryStore store;
    storeKeys(store, QStringLiteral("Com3=ch340"));
    FakeSerialPorts ports;
    ports.plug(QStringLiteral("S0 s1 ch340@ttyUSB0 ftdi@ttyUSB1 acm@ttyACM0"));
    const QString text = listPortsText(lookForSerialPorts(store, ports));
    const QString expected = QStringLiteral(
        "Com    Device                                                          Present  "
        "Description\n"
        "Com1   /dev/ttyS0                                                      yes      built-in "
        "serial port\n"
        "Com2   /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0  yes      FT232R "
        "USB UART (FTDI, serial A50285BI), /dev/ttyUSB1\n"
        "Com3   /dev/serial/by-id/usb-1a86_USB_Serial-if00-port0                yes      USB "
        "Serial, /dev/ttyUSB0\n"
        "Com4   /dev/ttyACM0                                                    yes      serial "
        "adapter\n"
        "Com5   /dev/ttyS4                                                      no\n");
    QVERIFY2(text.startsWith(expected), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("\nCom16  /dev/ttyS15  ")), qPrintable(text));
    const QString rules = QStringLiteral(
        "\nCom3: USB Serial, /dev/ttyUSB0\n"
        "  ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"
        "\nCom2: FT232R USB UART (FTDI, serial A50285BI), /dev/ttyUSB1\n"
        "  ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"
        "\nCom4: serial adapter, /dev/ttyACM0\n"
        "  (no USB vendor and product id known: no rule)\n");
    QVERIFY2(text.endsWith(rules), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("/etc/udev/rules.d/70-kestrova.rules")),
             qPrintable(text));

    ports.plug(QStringLiteral("S0"));
    QVERIFY(listPortsText(lookForSerialPorts(store, ports))
                .endsWith(QStringLiteral("\n\nNo serial adapter is plugged in.\n")));
}

void TestComPorts::systemPortsFromSysfs()
{
    FakeSystem system;
    QVERIFY(system.root.isValid());
    system.builtIn(QStringLiteral("ttyS0"), "4\n");
    system.builtIn(QStringLiteral("ttyS1"), "0\n");
    system.usb(QStringLiteral("ttyUSB10"), QStringLiteral("1-3"),
               {{QStringLiteral("idVendor"), "1a86"}, {QStringLiteral("idProduct"), "7523"}});
    system.usb(QStringLiteral("ttyUSB2"), QStringLiteral("1-1"),
               {{QStringLiteral("idVendor"), "0403"},
                {QStringLiteral("idProduct"), "6001"},
                {QStringLiteral("product"), "FT232R USB UART"},
                {QStringLiteral("manufacturer"), "FTDI"},
                {QStringLiteral("serial"), "A50285BI"}});
    QDir().mkpath(system.sys + QStringLiteral("/class/tty/tty0")); // a virtual terminal
    const QString byId =
        system.dev + QStringLiteral("/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    const QString byPath =
        system.dev + QStringLiteral("/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0");
    system.link(QStringLiteral("../../ttyUSB2"), byId);
    system.link(QStringLiteral("../../ttyUSB2"), byPath);

    const SystemSerialPorts enumerator(system.sys, system.dev);
    const QList<SerialPortInfo> ports = enumerator.ports();
    QStringList names;
    for (const SerialPortInfo& port : ports)
        names << port.name;
    QCOMPARE(names.join(QLatin1Char(' ')), QStringLiteral("ttyS0 ttyS1 ttyUSB2 ttyUSB10"));

    QVERIFY(ports[0].builtIn && ports[0].hasUart && ports[0].usable());
    QVERIFY(ports[1].builtIn && !ports[1].hasUart && !ports[1].usable());
    const SerialPortInfo& ftdi = ports[2];
    QVERIFY(!ftdi.builtIn && ftdi.usable());
    QCOMPARE(ftdi.devicePath, system.dev + QStringLiteral("/ttyUSB2"));
    QCOMPARE(ftdi.stableName, byId);
    QCOMPARE(ftdi.storedName(), byId);
    QCOMPARE(ftdi.otherNames, (QStringList{byId, byPath}));
    QCOMPARE(ftdi.description, QStringLiteral("FT232R USB UART"));
    QCOMPARE(ftdi.manufacturer, QStringLiteral("FTDI"));
    QCOMPARE(ftdi.serialNumber, QStringLiteral("A50285BI"));
    QCOMPARE(ftdi.vendorId, 0x0403);
    QCOMPARE(ftdi.productId, 0x6001);
    const SerialPortInfo& ch340 = ports[3];
    QCOMPARE(ch340.vendorId, 0x1a86);
    QVERIFY(ch340.description.isEmpty() && ch340.stableName.isEmpty());
    QCOMPARE(ch340.storedName(), system.dev + QStringLiteral("/ttyUSB10"));

    const QString device = QFileInfo(ftdi.devicePath).canonicalFilePath();
    QCOMPARE(enumerator.resolve(byId), device);
    QCOMPARE(enumerator.resolve(QStringLiteral("ttyUSB2")), device);
    QVERIFY(enumerator.resolve(system.dev + QStringLiteral("/ttyUSB7")).isEmpty());
    QVERIFY(enumerator.resolve(QString()).isEmpty());
}

QTEST_GUILESS_MAIN(TestComPorts)
#include "test_com_ports.moc"
