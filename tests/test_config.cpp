// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store, the configuration read from it, the Com numbers kept in it and the
// conversions of its texts.
#include "config/ActiveConfiguration.h"
#include "config/ComPorts.h"
#include "config/Messages.h"
#include "core/Conversions.h"
#include "fakes/FakeSerialPorts.h"
#include "fakes/MemoryStore.h"
#include "system/SystemSerialPorts.h"

#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;
using Stored = QMap<QString, QString>; // "Section/Key" -> text

namespace {
// Makes a folder read-only for this process, or writable again, even for root: root ignores file
// modes, so it binds the folder read-only in a private mount namespace.
bool setReadOnly(const QString& folder, bool readOnly)
{
    const QByteArray path = QFile::encodeName(folder);
    if (geteuid() != 0)
        return chmod(path, readOnly ? 0555 : 0755) == 0;
    if (!readOnly)
        return umount2(path, MNT_DETACH) == 0;
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(path, path, nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// "Com2=ftdi Com7=/dev/pts/3 Com9=<list>": the "Com<N> Device" keys, adapters by their kind.
void storeKeys(MemoryStore& store, const QString& keys)
{
    for (const QString& pair : keys.split(' ', Qt::SkipEmptyParts)) {
        const QString value = pair.section('=', 1);
        const QString stable = FakeSerialPorts::stableName(value);
        store.save({{settings::SerialSection, pair.section('=', 0, 0) + " Device",
                     stable.isEmpty() ? value : stable}});
    }
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT
private slots:
    // The readable values of a garbage file are kept, and saves reach the file at once, texts as
    // saved. A refused save names the file and leaves it as it was; once the folder is writable
    // again, a save is judged by whether it reached the disk now, and the values refused before,
    // which the store kept, reach it too.
    void readOnlyFolderKeepsWhatWasSavedAndRecovers()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Kestrova.conf"));
        QFile raw(file);
        QVERIFY(raw.open(QIODevice::WriteOnly));
        raw.write("\x01\x02garbage ][ = =\n[Parallel%20Options]\nPortBit=5\n\xff\xfe\n"
                  "[Serial%20Options]\nCom3%20Device=/dev/ttyUSB0,/dev/ttyUSB1\n[broken\n");
        raw.close();
        QSettingsStore store(file);
        // QSettings instances on one file share what is not yet written: look at the file itself.
        const auto onDisk = [&](const char* line) {
            QFile written(file);
            return written.open(QIODevice::ReadOnly) && written.readAll().contains(line);
        };
        QCOMPARE(store.read(settings::ParallelPortBit), QStringLiteral("5"));
        QCOMPARE(store.read(settings::SerialActiveLogic), QStringLiteral("1")); // absent: default
        // A value with a comma is a list to the file format: no text, not an empty one.
        QCOMPARE(store.read("Serial Options", "Com3 Device", ""), std::nullopt);
        QCOMPARE(store.save(settings::SerialControlLine, QStringLiteral(" 1 ")), std::nullopt);
        QVERIFY(onDisk("Control%20Line=\" 1 \"") && onDisk("PortBit=5"));

        if (!setReadOnly(dir.path(), true))
            QSKIP("cannot make a folder read-only here");
        const std::optional<Failure> refused = store.save(settings::ParallelPortBit, "2");
        QVERIFY(refused && refused->detail.contains(file));
        QCOMPARE(refused->text, "The settings could not be saved.");
        QVERIFY(store.save(settings::SerialPortIndex, QStringLiteral("2")));
        QVERIFY(setReadOnly(dir.path(), false));
        QVERIFY(onDisk("PortBit=5"));

        QCOMPARE(store.save(settings::SerialActiveLogic, QStringLiteral("0")), std::nullopt);
        QVERIFY(onDisk("ActiveLogic=0") && onDisk("PortBit=2") && onDisk("PortIndex=2"));
    }

    // Loaded over a serial line in force, active high; "line": the interfaces checked, the one in
    // use, its parallel and serial lines, polarity; then the keys taken as their defaults.
    // clang-format off
    void storedValues_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fallbacks");
        QTest::newRow("empty store") << Stored{} << "P - parallel 888 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("serial selected, active high by default") << Stored{{"Serial Options/Serial Control", "1"}, {"Parallel Options/Parallel Control", "0"}} << "- S serial 888 D1 Com1 RTS high" << QStringList{};
        QTest::newRow("both selected: serial wins with its polarity") << Stored{{"Serial Options/Serial Control", "1"}, {"Parallel Options/ActiveLogic", "1"}, {"Serial Options/ActiveLogic", "0"}} << "P S serial 888 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("neither selected keeps the interface and polarity in force") << Stored{{"Parallel Options/Parallel Control", "0"}, {"Parallel Options/PortBit", "3"}} << "- - serial 888 D3 Com1 RTS high" << QStringList{};
        QTest::newRow("LPT2 D7 Com16, any control line text but 0 is DTR") << Stored{{"Parallel Options/PortIndex", "1"}, {"Parallel Options/PortBit", "7"}, {"Serial Options/PortIndex", "15"}, {"Serial Options/Control Line", "RTS"}} << "P - parallel 632 D7 Com16 DTR low" << QStringList{};
        QTest::newRow("LPT3 at 0x3BC") << Stored{{"Parallel Options/PortIndex", "2"}} << "P - parallel 956 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("unknown parallel index has no address") << Stored{{"Parallel Options/PortIndex", "3"}} << "P - parallel 0 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("32767 and -32768 are 16-bit indexes") << Stored{{"Parallel Options/PortIndex", "32767"}, {"Serial Options/PortIndex", "-32768"}} << "P - parallel 0 D1 Com-32767 RTS low" << QStringList{};
        QTest::newRow("32768 and -32769 are not") << Stored{{"Parallel Options/PortIndex", "32768"}, {"Serial Options/PortIndex", "-32769"}} << "P - parallel 888 D1 Com1 RTS low" << QStringList{"Parallel Options/PortIndex", "Serial Options/PortIndex"};
        QTest::newRow("values that do not convert or fit fall back, in reading order") << Stored{{"Parallel Options/Parallel Control", "maybe"}, {"Parallel Options/PortBit", "8"}, {"Parallel Options/ActiveLogic", ""}, {"Serial Options/PortIndex", "32767"}}
            << "P - parallel 888 D1 Com1 RTS low" << QStringList{"Parallel Options/Parallel Control", "Parallel Options/PortBit", "Serial Options/PortIndex", "Parallel Options/ActiveLogic"};
        QTest::newRow("a list where a text belongs falls back") << Stored{{"Serial Options/Control Line", "<list>"}, {"Serial Options/Serial Control", "<list>"}} << "P - parallel 888 D1 Com1 RTS low" << QStringList{"Serial Options/Serial Control", "Serial Options/Control Line"};
        QTest::newRow("numbers in blanks of any kind or with an exponent, words in any case") << Stored{{"Parallel Options/Parallel Control", " \t+1.0 "}, {"Parallel Options/PortBit", "\u00a04\u0085"}, {"Serial Options/PortIndex", "1e1"}, {"Parallel Options/ActiveLogic", "tRUE"}} << "P - parallel 888 D4 Com11 RTS high" << QStringList{};
        QTest::newRow("hexadecimal, beyond a byte, a tie beyond 16 bits fall back") << Stored{{"Parallel Options/PortIndex", "&H1"}, {"Parallel Options/PortBit", "256"}, {"Serial Options/PortIndex", "32767.5"}} << "P - parallel 888 D1 Com1 RTS low" << QStringList{"Parallel Options/PortIndex", "Parallel Options/PortBit", "Serial Options/PortIndex"};
    }
    // clang-format on
    void storedValues()
    {
        MemoryStore store;
        QFETCH(Stored, stored);
        store.values = stored;
        // What stays while no interface is selected: the serial line, active high.
        const ShutterConfig inForce{Interface::Serial, 0, 0, 0, ControlLine::Rts, true};
        const LoadedConfiguration loaded = loadActiveConfiguration(store, inForce);
        const ShutterConfig& c = loaded.config;
        QTEST(QStringLiteral("%1 %2 %3 %4 D%5 Com%6 %7 %8")
                  .arg(loaded.parallelChecked ? "P" : "-", loaded.serialChecked ? "S" : "-",
                       c.Use == Interface::Serial ? "serial" : "parallel",
                       QString::number(c.portAddress()), QString::number(c.PortBit),
                       QString::number(c.commPortNumber()),
                       c.ControlLine == ControlLine::Rts ? "RTS" : "DTR",
                       c.ActiveLogic ? "high" : "low"),
              "line");
        QTEST(loaded.fallbacks, "fallbacks");
        QVERIFY(store.saves.isEmpty());
    }

    // The keys stored by hand, the ports plugged in at each start ("|" between starts on the same
    // store) and the keys stored after the last.
    void assignment_data()
    {
        QTest::addColumn<QString>("keysBefore");
        QTest::addColumn<QString>("plugged");
        QTest::addColumn<QString>("keysAfter");
        // clang-format off
        QTest::newRow("a first adapter takes Com1, a second the next free number") << "" << "ftdi@ttyUSB0|ftdi@ttyUSB0 ch340@ttyUSB1" << "Com1=ftdi Com2=ch340";
        QTest::newRow("unplugged, it keeps its number from a newcomer, and in another socket") << "" << "ftdi@ttyUSB0|ch340@ttyUSB0|ch340@ttyUSB0 ftdi@ttyUSB3" << "Com1=ftdi Com2=ch340";
        QTest::newRow("an adapter without a by-id name is stored by its device") << "" << "acm@ttyACM0" << "Com1=/dev/ttyACM0";
        QTest::newRow("a hand-written key for the adapter's device wins") << "Com7=/dev/ttyUSB0" << "ftdi@ttyUSB0" << "Com7=/dev/ttyUSB0";
        QTest::newRow("a hand-written key elsewhere is kept and skipped") << "Com1=/dev/pts/7" << "ftdi@ttyUSB0" << "Com1=/dev/pts/7 Com2=ftdi";
        QTest::newRow("an unreadable key keeps its number from adapters") << "Com1=<list>" << "ftdi@ttyUSB0" << "Com1=<list> Com2=ftdi";
        QTest::newRow("real ttyS ports keep their numbers, phantom ones do not") << "" << "S0 s1 S2 s3 ftdi@ttyUSB0 ch340@ttyUSB1" << "Com2=ftdi Com4=ch340";
        // clang-format on
    }

    void assignment()
    {
        QFETCH(QString, keysBefore);
        QFETCH(QString, plugged);
        QFETCH(QString, keysAfter);
        MemoryStore store;
        storeKeys(store, keysBefore);
        FakeSerialPorts ports;
        ComPortTable table;
        for (const QString& start : plugged.split('|')) {
            ports.plug(start);
            lookForSerialPorts(store, ports); // a second look must save nothing: see the count
            table = lookForSerialPorts(store, ports);
        }
        MemoryStore expected;
        storeKeys(expected, keysAfter);
        QCOMPARE(store.saves, expected.saves); // each key saved once, in the order numbered
        // Every adapter plugged in has the number whose device leads to it.
        for (const SerialPortInfo& adapter : table.adapters)
            QCOMPARE(ports.resolve(comDevice(store, table.numberOf(adapter)).path),
                     adapter.devicePath);
    }

    void texts()
    {
        MemoryStore store;
        storeKeys(store, "Com3=ftdi Com4=ch340 Com5=/dev/pts/3 Com6=<list>");
        FakeSerialPorts ports;
        ports.plug("S0 s1 ftdi@ttyUSB0 acm@ttyACM0");
        ports.otherFiles << "/dev/pts/3";
        const ComPortTable table = lookForSerialPorts(store, ports);
        QStringList toolTips;
        for (const ComPort& com : table.coms.mid(0, 6))
            toolTips << comToolTip(com);
        QCOMPARE(toolTips.join('\n'),
                 "Com1: built-in serial port, /dev/ttyS0, present\n"
                 "Com2: serial adapter, /dev/ttyACM0, plugged in\n"
                 "Com3: FT232R USB UART (FTDI, serial A50285BI), /dev/ttyUSB0, plugged in\n"
                 "Com4: /dev/serial/by-id/usb-1a86_USB_Serial-if00-port0, not plugged in\n"
                 "Com5: /dev/pts/3, present\n"
                 "Com6: " +
                     messages::comKeyUnreadable("Com6 Device"));
        // Com6 opens no device: it falls back to none the user chose.
        QCOMPARE(comDevice(store, 6).path, QString());
        QCOMPARE(comDevice(store, 6).problem, messages::comKeyUnreadable("Com6 Device"));
        // --list-ports: the table, then a udev rule for each adapter that has USB ids.
        QVERIFY(listPortsText(table).endsWith(
            "\nCom3: FT232R USB UART (FTDI, serial A50285BI), /dev/ttyUSB0\n"
            "  ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
            "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"
            "\nCom2: serial adapter, /dev/ttyACM0\n"
            "  (no USB vendor and product id known: no rule)\n"));

        // All 16 numbers taken by hand: an adapter gets none and no key is overwritten.
        for (int number = 1; number <= settings::ComPortCount; ++number)
            storeKeys(store, QStringLiteral("Com%1=/dev/pts/%1").arg(number));
        ports.plug("ch340@ttyUSB1");
        QVERIFY(presentPortsText(lookForSerialPorts(store, ports))
                    .contains("\nUSB Serial, /dev/ttyUSB1: no Com number, all 16 are taken\n"));
        // A store that refuses the new key is told; the number holds for this run all the same.
        MemoryStore refusing;
        refusing.refuseWrites = true;
        const ComPortTable unsaved = lookForSerialPorts(refusing, ports);
        QVERIFY(unsaved.failure && unsaved.numberOf(ports.list[0]) == 1);
        // No port at all: the key kept in memory names an adapter now unplugged.
        ports.plug("s0");
        QCOMPARE(presentPortsText(lookForSerialPorts(refusing, ports)),
                 "No serial port is present now. Plug in the serial adapter, "
                 "then choose Interface, Serial.");
    }

    // The system's enumeration on a tree standing for /sys and /dev: a ttyS port with a UART and
    // one without, two USB adapters, one with its ids and a by-id link, and a virtual terminal.
    void systemPortsFromSysfs()
    {
        QTemporaryDir root;
        const QDir dir(root.path());
        QVERIFY(dir.mkpath("sys/class/tty/tty0") && dir.mkpath("dev/serial/by-id"));
        for (const QString port : {"ttyS0=pnp0/0", "ttyS1=pnp0/1", "ttyUSB2=usb1/1-1/1-1:1.0",
                                   "ttyUSB10=usb1/1-3/1-3:1.0"}) {
            const QString name = port.section('=', 0, 0);
            const QString hardware = root.filePath("sys/devices/" + port.section('=', 1));
            QVERIFY(dir.mkpath(hardware) && dir.mkpath("sys/class/tty/" + name));
            QVERIFY(QFile::link(hardware, root.filePath("sys/class/tty/" + name + "/device")));
            QVERIFY(QFile(root.filePath("dev/" + name)).open(QIODevice::WriteOnly));
        }
        for (const QString file :
             {"class/tty/ttyS0/type=4", "class/tty/ttyS1/type=0", "devices/usb1/1-1/idVendor=0403",
              "devices/usb1/1-1/idProduct=6001"}) {
            QFile attribute(root.filePath("sys/" + file.section('=', 0, 0)));
            QVERIFY(attribute.open(QIODevice::WriteOnly) &&
                    attribute.write(file.section('=', 1).toUtf8()));
        }
        QVERIFY(QFile::link("../../ttyUSB2", root.filePath("dev/serial/by-id/usb-FTDI-port0")));

        const SystemSerialPorts enumerator(root.filePath("sys"), root.filePath("dev"));
        QStringList seen;
        for (const SerialPortInfo& port : enumerator.ports())
            seen << port.storedName().mid(root.path().size()) +
                        (port.usable() ? " usable " : " unusable ") +
                        QString::number(port.vendorId, 16) + ':' +
                        QString::number(port.productId, 16);
        QCOMPARE(seen, (QStringList{"/dev/ttyS0 usable -1:-1", "/dev/ttyS1 unusable -1:-1",
                                    "/dev/serial/by-id/usb-FTDI-port0 usable 403:6001",
                                    "/dev/ttyUSB10 usable -1:-1"}));
        QCOMPARE(enumerator.resolve("serial/by-id/usb-FTDI-port0"),
                 QFileInfo(root.filePath("dev/ttyUSB2")).canonicalFilePath());
    }

    void checkedArithmetic()
    {
        QCOMPARE(sub16(-32767, 1), Int16(-32768));
        QVERIFY_THROWS_EXCEPTION(OverflowError, add16(32767, 1));
        QVERIFY_THROWS_EXCEPTION(OverflowError, mul16(-32768, -1));
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "test_config.moc"
