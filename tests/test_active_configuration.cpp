// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ActiveConfiguration.h"
#include "config/OptionFields.h"
#include "fakes/MemoryStore.h"

#include <QtTest>

using namespace kestrova;
using kestrova::test::MemoryStore;
using Stored = QMap<QString, QString>; // "Section/Key" -> text

Q_DECLARE_METATYPE(kestrova::OptionField)

class TestActiveConfiguration : public QObject {
    Q_OBJECT
private slots:
    // "line": the interfaces checked, the one in use, its parallel and serial lines, polarity.
    void storedValues_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fallbacks");
        QTest::newRow("empty store")
            << Stored{} << "P - parallel 888 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("serial selected, active high by default")
            << Stored{{"Serial Options/Serial Control", "1"},
                      {"Parallel Options/Parallel Control", "0"}}
            << "- S serial 888 D1 Com1 RTS high" << QStringList{};
        QTest::newRow("both selected: serial wins with its polarity")
            << Stored{{"Serial Options/Serial Control", "1"},
                      {"Parallel Options/ActiveLogic", "1"},
                      {"Serial Options/ActiveLogic", "0"}}
            << "P S serial 888 D1 Com1 RTS low" << QStringList{};
        QTest::newRow("LPT2 D7 Com16, any control line text but 0 is DTR")
            << Stored{{"Parallel Options/PortIndex", "1"},
                      {"Parallel Options/PortBit", "7"},
                      {"Serial Options/PortIndex", "15"},
                      {"Serial Options/Control Line", "RTS"}}
            << "P - parallel 632 D7 Com16 DTR low" << QStringList{};
        QTest::newRow("unknown parallel index has no address")
            << Stored{{"Parallel Options/PortIndex", "3"}} << "P - parallel 0 D1 Com1 RTS low"
            << QStringList{};
        QTest::newRow("values that do not convert or fit fall back to defaults, in reading order")
            << Stored{{"Parallel Options/Parallel Control", "maybe"},
                      {"Parallel Options/PortBit", "8"},
                      {"Parallel Options/ActiveLogic", ""},
                      {"Serial Options/PortIndex", "32767"}}
            << "P - parallel 888 D1 Com1 RTS low"
            << QStringList{"Parallel Options/Parallel Control", "Parallel Options/PortBit",
                           "Serial Options/PortIndex", "Parallel Options/ActiveLogic"};
        QTest::newRow("no-selection bit -1 falls back")
            << Stored{{"Parallel Options/PortBit", "-1"}} << "P - parallel 888 D1 Com1 RTS low"
            << QStringList{"Parallel Options/PortBit"};
    }
    void storedValues()
    {
        MemoryStore store;
        QFETCH(Stored, stored);
        store.values = stored;
        const LoadedConfiguration loaded = loadActiveConfiguration(store, ShutterConfig{});
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

    void neitherInterfaceKeepsTheOneInForce()
    {
        MemoryStore store;
        store.set(settings::ParallelControl, QStringLiteral("0"));
        ShutterConfig inForce;
        inForce.Use = Interface::Serial;
        inForce.ActiveLogic = true;
        const LoadedConfiguration loaded = loadActiveConfiguration(store, inForce);
        QVERIFY(!loaded.parallelChecked && !loaded.serialChecked);
        QCOMPARE(loaded.config.Use, Interface::Serial);
        QVERIFY2(loaded.config.ActiveLogic, "the polarity in force stays");
        QCOMPARE(loaded.config.PortBit, 1); // the rest is read from the store
    }

    // The other interface is cleared first: a store refusing only the second write never holds
    // both interfaces, and both keys are written whatever becomes of the first.
    void interfaceChoiceWritesBothKeys_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QStringList>("saves");
        const QStringList serialSaves{"Parallel Options/Parallel Control=0",
                                      "Serial Options/Serial Control=1"};
        QTest::newRow("serial") << true << QStringList{} << true << serialSaves;
        QTest::newRow("parallel") << false << QStringList{} << true
                                  << QStringList{"Serial Options/Serial Control=0",
                                                 "Parallel Options/Parallel Control=1"};
        QTest::newRow("the first key refused")
            << true << QStringList{"Parallel Options/Parallel Control"} << false << serialSaves;
        QTest::newRow("only the chosen key refused")
            << true << QStringList{"Serial Options/Serial Control"} << false << serialSaves;
    }
    void interfaceChoiceWritesBothKeys()
    {
        QFETCH(bool, serial);
        MemoryStore store;
        QFETCH(QStringList, refused);
        store.refusedKeys = refused;
        QTEST(saveInterfaceChoice(store, serial), "saved");
        QTEST(store.saves, "saves");
    }

    // What an options control shows for a stored text; every value it can show survives the store.
    void optionFieldShownValue_data()
    {
        QTest::addColumn<OptionField>("field");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("shown");
        using namespace options;
        QTest::newRow("below no selection") << ParallelBit << "-2" << 1;
        QTest::newRow("past LPT3") << ParallelPort << "3" << 0;
        QTest::newRow("past D7") << ParallelBit << "8" << 1;
        QTest::newRow("past Com16") << SerialPort << "16" << 0;
        QTest::newRow("past DTR") << SerialLine << "2" << 0;
        QTest::newRow("past greyed") << SerialLogic << "3" << 1;
        QTest::newRow("a word") << ParallelBit << "five" << 1;
        QTest::newRow("beyond 16 bits") << SerialPort << "40000" << 0;
    }
    void optionFieldShownValue()
    {
        QFETCH(OptionField, field);
        QFETCH(QString, stored);
        QTEST(int(options::shownValue(field, stored)), "shown");
        for (int value = field.lowest; value <= field.highest; ++value)
            QCOMPARE(int(options::shownValue(field, options::storedText(Int16(value)))), value);
    }
};

QTEST_GUILESS_MAIN(TestActiveConfiguration)
#include "test_active_configuration.moc"
