// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ActiveConfiguration.h"
#include "fakes/MemoryStore.h"

#include <QtTest>

using namespace kestrova;
using kestrova::test::MemoryStore;
using Stored = QMap<QString, QString>; // "Section/Key" -> text

class TestActiveConfiguration : public QObject {
    Q_OBJECT
private slots:
    // Loaded over a serial line in force, active high, when "serialInForce"; "line": the
    // interfaces checked, the one in use, its parallel and serial lines, polarity.
    // clang-format off
    void storedValues_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<bool>("serialInForce");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fallbacks");
        QTest::newRow("empty store") << Stored{} << false << "P - parallel 888 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("serial selected, active high by default") << Stored{{"Serial Options/Serial Control", "1"}, {"Parallel Options/Parallel Control", "0"}} << false << "- S serial 888 D1 Com1 RTS high" << QStringList{};
        QTest::newRow("both selected: serial wins with its polarity") << Stored{{"Serial Options/Serial Control", "1"}, {"Parallel Options/ActiveLogic", "1"}, {"Serial Options/ActiveLogic", "0"}} << false << "P S serial 888 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("neither selected keeps the interface and polarity in force") << Stored{{"Parallel Options/Parallel Control", "0"}, {"Parallel Options/PortBit", "3"}} << true << "- - serial 888 D3 Com1 RTS high" << QStringList{};
        QTest::newRow("LPT2 D7 Com16, any control line text but 0 is DTR") << Stored{{"Parallel Options/PortIndex", "1"}, {"Parallel Options/PortBit", "7"}, {"Serial Options/PortIndex", "15"}, {"Serial Options/Control Line", "RTS"}} << false << "P - parallel 632 D7 Com16 DTR low" << QStringList{};
        QTest::newRow("unknown parallel index has no address") << Stored{{"Parallel Options/PortIndex", "3"}} << false << "P - parallel 0 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("values that do not convert or fit fall back, in reading order") << Stored{{"Parallel Options/Parallel Control", "maybe"}, {"Parallel Options/PortBit", "8"}, {"Parallel Options/ActiveLogic", ""}, {"Serial Options/PortIndex", "32767"}}
            << false << "P - parallel 888 D1 Com1 RTS low" << QStringList{"Parallel Options/Parallel Control", "Parallel Options/PortBit", "Serial Options/PortIndex", "Parallel Options/ActiveLogic"};
        QTest::newRow("no-selection bit -1 falls back") << Stored{{"Parallel Options/PortBit", "-1"}} << false << "P - parallel 888 D1 Com1 RTS low" << QStringList{"Parallel Options/PortBit"};
    }
    // clang-format on
    void storedValues()
    {
        MemoryStore store;
        QFETCH(Stored, stored);
        store.values = stored;
        ShutterConfig inForce;
        if (QFETCH(bool, serialInForce); serialInForce) {
            inForce.Use = Interface::Serial;
            inForce.ActiveLogic = true;
        }
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

    // The other interface is cleared first: a store refusing only the second write never holds
    // both interfaces, and both keys are written whatever becomes of the first.
    // clang-format off
    void interfaceChoiceWritesBothKeys_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QStringList>("saves");
        const QStringList serialSaves{"Parallel Options/Parallel Control=0", "Serial Options/Serial Control=1"};
        QTest::newRow("serial") << true << QStringList{} << true << serialSaves;
        QTest::newRow("parallel") << false << QStringList{} << true << QStringList{"Serial Options/Serial Control=0", "Parallel Options/Parallel Control=1"};
        QTest::newRow("the first key refused") << true << QStringList{"Parallel Options/Parallel Control"} << false << serialSaves;
        QTest::newRow("only the chosen key refused") << true << QStringList{"Serial Options/Serial Control"} << false << serialSaves;
    }
    // clang-format on
    void interfaceChoiceWritesBothKeys()
    {
        QFETCH(bool, serial);
        MemoryStore store;
        QFETCH(QStringList, refused);
        store.refusedKeys = refused;
        QTEST(saveInterfaceChoice(store, serial), "saved");
        QTEST(store.saves, "saves");
    }
};

QTEST_GUILESS_MAIN(TestActiveConfiguration)
#include "test_active_configuration.moc"
