// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ActiveConfiguration.h"
#include "config/SettingsStore.h"
#include "fakes/MemoryStore.h"

#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrova;
using kestrova::test::MemoryStore;
using Stored = QMap<QString, QString>; // "Section/Key" -> text

namespace {
// Makes a folder read-only for this process, or writable again, even for root: root ignores file
// modes, so it binds the folder read-only in a private mount namespace.
bool setReadOnly(const QString& folder, bool readOnly)
{
    const QByteArray encoded = QFile::encodeName(folder);
    const char* path = encoded.constData();
    if (geteuid() != 0)
        return chmod(path, readOnly ? 0555 : 0755) == 0;
    if (!readOnly)
        return umount2(path, MNT_DETACH) == 0;
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(path, path, nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}
} // namespace

class TestSettingsStore : public QObject {
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
        raw.write("\x01\x02garbage ][ = =\n[Parallel%20Options]\nPortBit=5\n\xff\xfe\n[broken\n");
        raw.close();
        QSettingsStore store(file);
        // QSettings instances on one file share what is not yet written: look at the file itself.
        const auto onDisk = [&](const char* line) {
            QFile written(file);
            return written.open(QIODevice::ReadOnly) && written.readAll().contains(line);
        };
        QCOMPARE(store.read(settings::ParallelPortBit), QStringLiteral("5"));
        QCOMPARE(store.read(settings::SerialActiveLogic), QStringLiteral("1")); // absent: default
        QVERIFY2(store.save(settings::SerialControlLine, QStringLiteral(" 1 ")),
                 qPrintable(store.failureText()));
        QVERIFY(onDisk("Control%20Line=\" 1 \"") && onDisk("PortBit=5"));

        if (!setReadOnly(dir.path(), true))
            QSKIP("cannot make a folder read-only here");
        QVERIFY(!store.save(settings::ParallelPortBit, QStringLiteral("2")));
        QVERIFY2(store.failureText().contains(file), qPrintable(store.failureText()));
        QVERIFY(!store.save(settings::SerialPortIndex, QStringLiteral("2")));
        QVERIFY(setReadOnly(dir.path(), false));
        QVERIFY(onDisk("PortBit=5"));

        QVERIFY2(store.save(settings::SerialActiveLogic, QStringLiteral("0")),
                 qPrintable(store.failureText()));
        QVERIFY(store.failureText().isEmpty());
        QVERIFY(onDisk("ActiveLogic=0") && onDisk("PortBit=2") && onDisk("PortIndex=2"));
    }

    // Loaded over a serial line in force, active high, when "serialInForce"; "line": the
    // interfaces checked, the one in use, its parallel and serial lines, polarity.
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
        QTest::newRow("unknown parallel index has no address") << Stored{{"Parallel Options/PortIndex", "3"}} << "P - parallel 0 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("values that do not convert or fit fall back, in reading order") << Stored{{"Parallel Options/Parallel Control", "maybe"}, {"Parallel Options/PortBit", "8"}, {"Parallel Options/ActiveLogic", ""}, {"Serial Options/PortIndex", "32767"}}
            << "P - parallel 888 D1 Com1 RTS low" << QStringList{"Parallel Options/Parallel Control", "Parallel Options/PortBit", "Serial Options/PortIndex", "Parallel Options/ActiveLogic"};
        QTest::newRow("no-selection bit -1 falls back") << Stored{{"Parallel Options/PortBit", "-1"}} << "P - parallel 888 D1 Com1 RTS low" << QStringList{"Parallel Options/PortBit"};
    }
    // clang-format on
    void storedValues()
    {
        MemoryStore store;
        QFETCH(Stored, stored);
        store.values = stored;
        ShutterConfig inForce; // what stays while no interface is selected
        inForce.Use = Interface::Serial;
        inForce.ActiveLogic = true;
        const LoadedConfiguration loaded = loadActiveConfiguration(store, inForce);
        const ShutterConfig& c = loaded.config;
        const QStringList line{loaded.parallelChecked ? "P" : "-",
                               loaded.serialChecked ? "S" : "-",
                               c.Use == Interface::Serial ? "serial" : "parallel",
                               QString::number(c.PortAddress),
                               QStringLiteral("D%1").arg(c.PortBit),
                               QStringLiteral("Com%1").arg(c.CommPortNumber),
                               c.ControlLine == ControlLine::Rts ? "RTS" : "DTR",
                               c.ActiveLogic ? "high" : "low"};
        QTEST(line.join(' '), "line");
        QCOMPARE(int(c.SerialPortIndex), c.CommPortNumber - 1);
        QTEST(loaded.fallbacks, "fallbacks");
        QVERIFY(store.saves.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settings_store.moc"
