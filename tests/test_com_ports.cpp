// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ComPorts.h"
#include "fakes/FakeSerialPorts.h"
#include "fakes/MemoryStore.h"

#include <QtTest>

using namespace kestrova;
using test::FakeSerialPorts;
using test::MemoryStore;

namespace {

const QString Section = settings::SerialSection;

// "Com2=ftdi Com7=/dev/pts/3": the "Com<N> Device" keys, adapters by their kind.
void storeKeys(MemoryStore& store, const QString& keys)
{
    for (const QString& pair : keys.split(' ', Qt::SkipEmptyParts)) {
        const QString value = pair.section('=', 1);
        const QString stable = FakeSerialPorts::stableName(value);
        store.save(Section, pair.section('=', 0, 0) + " Device", stable.isEmpty() ? value : stable);
    }
}

QString storedKeys(const SettingsStore& store)
{
    QStringList pairs;
    for (int number = 1; number <= settings::ComPortCount; ++number) {
        QString value = store.read(Section, settings::comDeviceKey(number), {});
        for (const char* kind : {"ftdi", "ch340"})
            if (value == FakeSerialPorts::stableName(kind))
                value = kind;
        if (!value.isEmpty())
            pairs << QStringLiteral("Com%1=%2").arg(number).arg(value);
    }
    return pairs.join(' ');
}

} // namespace

class TestComPorts : public QObject {
    Q_OBJECT
private slots:
    void assignment_data();
    void assignment();
    void texts();
    void systemPortsFromSysfs();
};

// The keys stored by hand, the ports plugged in at each start ("|" between starts on the same
// store) and the keys stored after the last.
void TestComPorts::assignment_data()
{
    QTest::addColumn<QString>("keysBefore");
    QTest::addColumn<QString>("plugged");
    QTest::addColumn<QString>("keysAfter");
    // clang-format off
    QTest::newRow("first adapter") << "" << "ftdi@ttyUSB0" << "Com1=ftdi";
    QTest::newRow("a second adapter takes the next free number") << "" << "ftdi@ttyUSB0|ftdi@ttyUSB0 ch340@ttyUSB1" << "Com1=ftdi Com2=ch340";
    QTest::newRow("an unplugged adapter keeps its number from a newcomer") << "" << "ftdi@ttyUSB0|ch340@ttyUSB0" << "Com1=ftdi Com2=ch340";
    QTest::newRow("plugged back in other sockets, each keeps its number") << "" << "ftdi@ttyUSB0 ch340@ttyUSB1|ch340@ttyUSB0 ftdi@ttyUSB3" << "Com1=ftdi Com2=ch340";
    QTest::newRow("an adapter without a by-id name is stored by its device") << "" << "acm@ttyACM0" << "Com1=/dev/ttyACM0";
    QTest::newRow("a hand-written key for the adapter's device wins") << "Com7=/dev/ttyUSB0" << "ftdi@ttyUSB0" << "Com7=/dev/ttyUSB0";
    QTest::newRow("a hand-written key elsewhere is kept and skipped") << "Com1=/dev/pts/7" << "ftdi@ttyUSB0" << "Com1=/dev/pts/7 Com2=ftdi";
    QTest::newRow("real ttyS ports keep their numbers, phantom ones do not") << "" << "S0 s1 S2 s3 ftdi@ttyUSB0 ch340@ttyUSB1" << "Com2=ftdi Com4=ch340";
    // clang-format on
}

void TestComPorts::assignment()
{
    QFETCH(QString, keysBefore);
    QFETCH(QString, plugged);
    MemoryStore store;
    storeKeys(store, keysBefore);
    FakeSerialPorts ports;
    ComPortTable table;
    for (const QString& start : plugged.split('|')) {
        ports.plug(start);
        table = lookForSerialPorts(store, ports);
    }
    QTEST(storedKeys(store), "keysAfter");
    QVERIFY(table.saved && table.withoutNumber.isEmpty());
    // Every adapter plugged in has the number whose device leads to it.
    for (const SerialPortInfo& adapter : table.adapters)
        QCOMPARE(ports.resolve(comDevice(store, table.numberOf(adapter))), adapter.devicePath);
    // Looking again saves nothing.
    const QStringList savesBefore = store.saves;
    lookForSerialPorts(store, ports);
    QCOMPARE(store.saves, savesBefore);
}

void TestComPorts::texts()
{
    MemoryStore store;
    storeKeys(store, "Com3=ftdi Com4=ch340 Com5=/dev/pts/3 Com6=/dev/pts/9");
    FakeSerialPorts ports;
    ports.plug("S0 s1 ftdi@ttyUSB0 acm@ttyACM0");
    ports.otherFiles << "/dev/pts/3";
    const ComPortTable table = lookForSerialPorts(store, ports);
    QStringList toolTips;
    for (const ComPort& com : table.coms.mid(0, 7))
        toolTips << comToolTip(com);
    QCOMPARE(toolTips.join('\n'),
             "Com1: built-in serial port, /dev/ttyS0, present\n"
             "Com2: serial adapter, /dev/ttyACM0, plugged in\n"
             "Com3: FT232R USB UART (FTDI, serial A50285BI), /dev/ttyUSB0, plugged in\n"
             "Com4: /dev/serial/by-id/usb-1a86_USB_Serial-if00-port0, not plugged in\n"
             "Com5: /dev/pts/3, present\n"
             "Com6: /dev/pts/9, not plugged in\n"
             "Com7: /dev/ttyS6, not present");
    QCOMPARE(presentPortsText(table),
             "Serial ports present now:\n"
             "Com1: built-in serial port, /dev/ttyS0\n"
             "Com2: serial adapter, /dev/ttyACM0\n"
             "Com3: FT232R USB UART (FTDI, serial A50285BI), /dev/ttyUSB0\n"
             "Com5: /dev/pts/3\n"
             "Choose the Com number under Options..., then Interface, Serial.");
    // --list-ports: the table, then a udev rule for each adapter that has USB ids.
    const QString list = listPortsText(table);
    QVERIFY2(list.contains("\nCom4   /dev/serial/by-id/usb-1a86_USB_Serial-if00-port0      "
                           "          no\nCom5   /dev/pts/3"),
             qPrintable(list));
    QVERIFY2(list.endsWith("\nCom3: FT232R USB UART (FTDI, serial A50285BI), /dev/ttyUSB0\n"
                           "  ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
                           "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"
                           "\nCom2: serial adapter, /dev/ttyACM0\n"
                           "  (no USB vendor and product id known: no rule)\n"),
             qPrintable(list));

    // All 16 numbers taken by hand: an adapter gets none and no key is overwritten.
    MemoryStore full;
    for (int number = 1; number <= settings::ComPortCount; ++number)
        storeKeys(full, QStringLiteral("Com%1=/dev/pts/%1").arg(number));
    ports.plug("ch340@ttyUSB1");
    QVERIFY(presentPortsText(lookForSerialPorts(full, ports))
                .contains("\nUSB Serial, /dev/ttyUSB1: no Com number, all 16 are taken\n"));
    QCOMPARE(full.saves.size(), settings::ComPortCount);
    // A store that refuses the new key is told; the number holds for this run all the same.
    MemoryStore refusing;
    refusing.refuseWrites = true;
    const ComPortTable unsaved = lookForSerialPorts(refusing, ports);
    QVERIFY(!unsaved.saved && unsaved.numberOf(ports.list[0]) == 1);
    // No port at all.
    MemoryStore empty;
    ports.plug("s0");
    const ComPortTable none = lookForSerialPorts(empty, ports);
    QCOMPARE(presentPortsText(none), "No serial port is present now. Plug in the serial adapter, "
                                     "then choose Interface, Serial.");
    QVERIFY(listPortsText(none).endsWith("\n\nNo serial adapter is plugged in.\n"));
}

// The system's enumeration on a file tree standing for /sys and /dev.
void TestComPorts::systemPortsFromSysfs()
{
    QTemporaryDir root;
    const QDir dir(root.path());
    // Each port: its hardware folder, the device link of its class entry, its device file.
    for (const QString port :
         {"ttyS0=pnp0/00:00", "ttyS1=pnp0/00:01", "ttyUSB2=usb1/1-1/1-1:1.0/ttyUSB2",
          "ttyUSB10=usb1/1-3/1-3:1.0/ttyUSB10"}) {
        const QString name = port.section('=', 0, 0);
        const QString hardware = root.filePath("sys/devices/" + port.section('=', 1));
        QVERIFY(dir.mkpath(hardware) && dir.mkpath("sys/class/tty/" + name) && dir.mkpath("dev"));
        QVERIFY(QFile::link(hardware, root.filePath("sys/class/tty/" + name + "/device")));
        QVERIFY(QFile(root.filePath("dev/" + name)).open(QIODevice::WriteOnly));
    }
    for (const QString file :
         {"sys/class/tty/ttyS0/type=4", "sys/class/tty/ttyS1/type=0",
          "sys/devices/usb1/1-1/idVendor=0403", "sys/devices/usb1/1-1/idProduct=6001",
          "sys/devices/usb1/1-1/product=FT232R USB UART", "sys/devices/usb1/1-1/manufacturer=FTDI",
          "sys/devices/usb1/1-1/serial=A50285BI"}) {
        QFile attribute(root.filePath(file.section('=', 0, 0)));
        QVERIFY(attribute.open(QIODevice::WriteOnly) &&
                attribute.write(file.section('=', 1).toUtf8() + '\n') > 0);
    }
    QVERIFY(dir.mkpath("sys/class/tty/tty0")); // a virtual terminal, no hardware behind it
    QVERIFY(dir.mkpath("dev/serial/by-id"));
    const QString byId =
        root.filePath("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    QVERIFY(QFile::link("../../ttyUSB2", byId));

    const SystemSerialPorts enumerator(root.filePath("sys"), root.filePath("dev"));
    const QList<SerialPortInfo> ports = enumerator.ports();
    QStringList seen; // in the kernel's order, a built-in port with its UART or none
    for (const SerialPortInfo& port : ports)
        seen << port.name + (port.builtIn ? (port.usable() ? " UART" : " no UART") : "");
    QCOMPARE(seen, (QStringList{"ttyS0 UART", "ttyS1 no UART", "ttyUSB2", "ttyUSB10"}));
    const SerialPortInfo& ftdi = ports[2];
    QCOMPARE(
        (QStringList{ftdi.description, ftdi.manufacturer, ftdi.serialNumber, ftdi.storedName()}),
        (QStringList{"FT232R USB UART", "FTDI", "A50285BI", byId}));
    QCOMPARE(ftdi.vendorId, 0x0403);
    QCOMPARE(ftdi.productId, 0x6001);
    QCOMPARE(ports[3].storedName(), root.filePath("dev/ttyUSB10"));
    QCOMPARE(enumerator.resolve(byId), QFileInfo(ftdi.devicePath).canonicalFilePath());
    QVERIFY(enumerator.resolve("ttyUSB7").isEmpty());
}

QTEST_GUILESS_MAIN(TestComPorts)
#include "test_com_ports.moc"
