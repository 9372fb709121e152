// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ActiveConfiguration.h"
#include "fakes/MemoryStore.h"

#include <QtTest>

using namespace kestrova;
using kestrova::test::MemoryStore;

namespace {

using Row = QMap<QString, QString>; // "Section/Key" -> stored text

QString interfaceName(Interface use)
{
    switch (use) {
    case Interface::Parallel:
        return QStringLiteral("parallel");
    case Interface::Serial:
        return QStringLiteral("serial");
    case Interface::None:
        break;
    }
    return QStringLiteral("none");
}

} // namespace

class TestActiveConfiguration : public QObject {
    Q_OBJECT
private slots:
    void storedValues_data();
    void storedValues();
    void neitherInterfaceKeepsPreviousFlags();
    void interfaceChoiceWritesBothKeys_data();
    void interfaceChoiceWritesBothKeys();
};

// clang-format off
void TestActiveConfiguration::storedValues_data()
{
    QTest::addColumn<Row>("stored");
    QTest::addColumn<bool>("parallelChecked");
    QTest::addColumn<bool>("serialChecked");
    QTest::addColumn<QString>("interface");
    QTest::addColumn<int>("portAddress");
    QTest::addColumn<int>("portBit");
    QTest::addColumn<int>("commPort");
    QTest::addColumn<QString>("controlLine");
    QTest::addColumn<bool>("activeLogic");
    QTest::addColumn<QStringList>("fallbacks");

    const QStringList none;
    QTest::newRow("empty store") << Row{} << true << false << "parallel" << 888 << 1 << 1 << "RTS" << false << none;
    QTest::newRow("serial selected") << Row{{"Serial Options/Serial Control", "1"}, {"Parallel Options/Parallel Control", "0"}} << false << true << "serial" << 888 << 1 << 1 << "RTS" << true << none;
    QTest::newRow("LPT2 bit 7 active high") << Row{{"Parallel Options/PortIndex", "1"},
               {"Parallel Options/PortBit", "7"},
               {"Parallel Options/ActiveLogic", "1"}}
        << true << false << "parallel" << 632 << 7 << 1 << "RTS" << true << none;
    QTest::newRow("LPT3") << Row{{"Parallel Options/PortIndex", "2"}} << true << false << "parallel" << 956 << 1 << 1 << "RTS" << false << none;
    QTest::newRow("unknown parallel index has no address") << Row{{"Parallel Options/PortIndex", "3"}} << true << false << "parallel" << 0 << 1 << 1 << "RTS" << false << none;
    QTest::newRow("Com16 DTR") << Row{{"Serial Options/PortIndex", "15"},
                                      {"Serial Options/Control Line", "1"}}
                               << true << false << "parallel" << 888 << 1 << 16 << "DTR" << false << none;
    QTest::newRow("any control line text but 0 is DTR") << Row{{"Serial Options/Control Line", "RTS"}} << true << false << "parallel" << 888 << 1 << 1 << "DTR" << false << none;
    QTest::newRow("both selected: serial wins with its polarity") << Row{{"Serial Options/Serial Control", "1"},
               {"Parallel Options/ActiveLogic", "1"},
               {"Serial Options/ActiveLogic", "0"}}
        << true << true << "serial" << 888 << 1 << 1 << "RTS" << false << none;
    QTest::newRow("words as booleans") << Row{{"Parallel Options/Parallel Control", "False"},
               {"Serial Options/Serial Control", "True"}}
        << false << true << "serial" << 888 << 1 << 1 << "RTS" << true << none;
    QTest::newRow("values that do not convert fall back to defaults") << Row{{"Parallel Options/Parallel Control", "maybe"},
               {"Parallel Options/PortIndex", "LPT1"},
               {"Parallel Options/PortBit", "300"},
               {"Parallel Options/ActiveLogic", ""},
               {"Serial Options/PortIndex", "99999"}}
        << true << false << "parallel" << 888 << 1 << 1 << "RTS" << false << QStringList{"Parallel Options/Parallel Control", "Parallel Options/PortIndex",
                       "Parallel Options/PortBit", "Serial Options/PortIndex",
                       "Parallel Options/ActiveLogic"};
    QTest::newRow("bit beyond D7 falls back") << Row{{"Parallel Options/PortBit", "8"}} << true << false << "parallel" << 888 << 1 << 1 << "RTS" << false << QStringList{"Parallel Options/PortBit"};
    QTest::newRow("no-selection bit -1 falls back") << Row{{"Parallel Options/PortBit", "-1"}} << true << false << "parallel" << 888 << 1 << 1 << "RTS" << false << QStringList{"Parallel Options/PortBit"};
    QTest::newRow("serial index at the top overflows the port number") << Row{{"Serial Options/PortIndex", "32767"}} << true << false << "parallel" << 888 << 1 << 1 << "RTS" << false << QStringList{"Serial Options/PortIndex"};
    QTest::newRow("rounded texts") << Row{{"Parallel Options/PortBit", " 2.5 "}} << true << false << "parallel" << 888 << 2 << 1 << "RTS" << false << none;
}
// clang-format on

void TestActiveConfiguration::storedValues()
{
    QFETCH(Row, stored);
    MemoryStore store;
    store.values = stored;
    const LoadedConfiguration loaded = loadActiveConfiguration(store, ShutterConfig{});
    const ShutterConfig& config = loaded.config;

    QTEST(loaded.parallelChecked, "parallelChecked");
    QTEST(loaded.serialChecked, "serialChecked");
    QTEST(interfaceName(config.Use), "interface");
    QTEST(int(config.PortAddress), "portAddress");
    QTEST(int(config.PortBit), "portBit");
    QTEST(int(config.CommPortNumber), "commPort");
    QCOMPARE(int(config.SerialPortIndex), config.CommPortNumber - 1);
    QTEST(QString::fromLatin1(config.ControlLine == ControlLine::Rts ? "RTS" : "DTR"),
          "controlLine");
    QTEST(config.ActiveLogic, "activeLogic");
    QTEST(loaded.fallbacks, "fallbacks");
    QVERIFY(store.saves.isEmpty());
}

void TestActiveConfiguration::neitherInterfaceKeepsPreviousFlags()
{
    MemoryStore store;
    store.set(settings::SerialControl, QStringLiteral("1"));
    store.set(settings::ParallelControl, QStringLiteral("0"));
    store.set(settings::SerialControlLine, QStringLiteral("1"));
    const ShutterConfig serial = loadActiveConfiguration(store, ShutterConfig{}).config;
    QCOMPARE(serial.Use, Interface::Serial);

    store.set(settings::SerialControl, QStringLiteral("0"));
    store.set(settings::SerialActiveLogic, QStringLiteral("0"));
    store.set(settings::SerialControlLine, QStringLiteral("0"));
    const LoadedConfiguration loaded = loadActiveConfiguration(store, serial);
    QVERIFY(!loaded.parallelChecked);
    QVERIFY(!loaded.serialChecked);
    QCOMPARE(loaded.config.Use, Interface::Serial);
    QVERIFY2(loaded.config.ActiveLogic,
             "the polarity in force stays when no interface is selected");
    QVERIFY2(loaded.config.ControlLine == ControlLine::Rts, "the rest is read from the store");

    QCOMPARE(loadActiveConfiguration(store, ShutterConfig{}).config.Use, Interface::None);
}

// Both keys are written even when the store refuses the first; the other interface is cleared
// first, so that a store refusing only the second write never holds both interfaces.
// clang-format off
void TestActiveConfiguration::interfaceChoiceWritesBothKeys_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QStringList>("refused");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QStringList>("saves");
    const QStringList serialSaves{"Parallel Options/Parallel Control=0", "Serial Options/Serial Control=1"};
    QTest::newRow("serial") << true << QStringList{} << true << serialSaves;
    QTest::newRow("parallel") << false << QStringList{} << true << QStringList{"Serial Options/Serial Control=0", "Parallel Options/Parallel Control=1"};
    QTest::newRow("serial refused") << true << QStringList{"Parallel Options/Parallel Control", "Serial Options/Serial Control"} << false << serialSaves;
    QTest::newRow("only the chosen key refused") << true << QStringList{"Serial Options/Serial Control"} << false << serialSaves;
}
// clang-format on

void TestActiveConfiguration::interfaceChoiceWritesBothKeys()
{
    QFETCH(bool, serial);
    MemoryStore store;
    QFETCH(QStringList, refused);
    store.refusedKeys = refused;
    QTEST(saveInterfaceChoice(store, serial), "saved");
    QTEST(store.saves, "saves");
}

QTEST_GUILESS_MAIN(TestActiveConfiguration)
#include "test_active_configuration.moc"
