// SPDX-License-Identifier: GPL-3.0-or-later
// A run from the command line without processes: its options as a parser reads them, the
// settings they override for one run, and the progress line a terminal redraws.
#include "config/OverlayStore.h"
#include "config/SettingsSchema.h"
#include "fakes/MemoryStore.h"
#include "terminal/Messages.h"
#include "terminal/ProgressText.h"
#include "terminal/RunOptions.h"

#include <QCommandLineParser>
#include <QtTest>

using namespace kestrova;
using namespace kestrova::test;

class TestTerminal : public QObject {
    Q_OBJECT
private slots:
    // What a command line makes of a run: its three values as typed and the settings overridden
    // for it ("Section/Key=text"), or the refusal.
    void runOptions_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("run");
        // clang-format off
        QTest::newRow("one exposure needs no count or delay") << "--exposure-time 30" << "1 30 0";
        QTest::newRow("values as typed, for the sequencer's own rules") << "--exposures x --exposure-time 2.5 --delay -1" << "x 2.5 -1";
        QTest::newRow("--port Com3 chooses the serial interface") << "--exposure-time 5 --port Com3" << "1 5 0 Parallel Options/Parallel Control=0 Serial Options/Serial Control=1 Serial Options/PortIndex=2";
        QTest::newRow("--port lpt3 --line d0 --active-high, in any letter case: the parallel interface and its polarity") << "--exposure-time 5 --port lpt3 --line d0 --active-high" << "1 5 0 Parallel Options/Parallel Control=1 Serial Options/Serial Control=0 Parallel Options/PortIndex=2 Parallel Options/PortBit=0 Parallel Options/ActiveLogic=1";
        QTest::newRow("--close --interface serial --line rts: the two agree") << "--close --interface serial --line rts" << "close Parallel Options/Parallel Control=0 Serial Options/Serial Control=1 Serial Options/Control Line=0";
        QTest::newRow("--active-low alone: the polarity of the interface in force, either") << "--close --active-low" << "close Parallel Options/ActiveLogic=0 Serial Options/ActiveLogic=0";
        QTest::newRow("refused: a serial port and a parallel line") << "--exposure-time 5 --port Com2 --line D5" << "--port Com2 is on the serial interface and --line D5 on the parallel one; a run uses one line of one port.";
        QTest::newRow("refused: Com17") << "--exposure-time 5 --port Com17" << "--port takes LPT1 to LPT3 or Com1 to Com16, not \"Com17\".";
        QTest::newRow("refused: LPT4") << "--exposure-time 5 --port LPT4" << "--port takes LPT1 to LPT3 or Com1 to Com16, not \"LPT4\".";
        QTest::newRow("refused: D8") << "--exposure-time 5 --line D8" << "--line takes D0 to D7, RTS or DTR, not \"D8\".";
        QTest::newRow("refused: an unknown interface") << "--exposure-time 5 --interface usb" << "--interface takes parallel or serial, not \"usb\".";
        QTest::newRow("refused: both polarities") << "--exposure-time 5 --active-high --active-low" << QString::fromLatin1(messages::BothPolarities);
        QTest::newRow("refused: a sequence without its exposure time") << "--exposures 3 --delay 10" << QString::fromLatin1(messages::ExposureTimeMissing);
        QTest::newRow("refused: --close with a sequence") << "--close --exposures 3 --exposure-time 1" << QString::fromLatin1(messages::CloseTakesNoSequence);
        QTest::newRow("refused: a line option alone, which the window would pass over") << "--port Com3" << QString::fromLatin1(messages::NeitherSequenceNorClose);
        QTest::newRow("refused: a stray argument") << "--exposure-time 5 300" << "Unexpected argument: 300. See \"kestrova --help\".";
        // clang-format on
    }
    void runOptions()
    {
        QFETCH(QString, arguments);
        QCommandLineParser parser;
        const RunCommandLine commandLine;
        commandLine.addTo(parser);
        QVERIFY(parser.parse(QStringList{"kestrova"} + arguments.split(u' ')));
        QVERIFY(commandLine.wanted(parser));
        const ParsedRun parsed = commandLine.read(parser);
        QStringList words{parsed.error};
        if (const std::optional<RunOptions>& options = parsed.options) {
            words = options->closeOnly
                        ? QStringList{"close"}
                        : QStringList{options->exposures, options->exposureTime, options->delay};
            for (const StoredSetting& setting : overriddenSettings(*options))
                words << setting.path() + u'=' + setting.text;
        }
        QTEST(words.join(u' '), "run");
    }

    // The overridden keys come from memory and never reach the file; what else the program saves
    // there (a Com number) reaches it, or its failure is told.
    void overlayStore()
    {
        MemoryStore file;
        file.values = {{"Serial Options/Serial Control", "0"}};
        OverlayStore run(file);
        run.override({"Serial Options", "Serial Control", "1"});
        QCOMPARE(run.read(settings::SerialControl), std::optional<QString>("1"));

        QVERIFY(!run.save({{"Serial Options", "Com2 Device", "/dev/ttyUSB0"},
                           {"Serial Options", "Serial Control", "0"}}));
        QCOMPARE(file.saves, QStringList{"Serial Options/Com2 Device=/dev/ttyUSB0"});
        QCOMPARE(run.read(settings::SerialControl), std::optional<QString>("0"));

        file.refuseWrites = true;
        const std::optional<Failure> failed =
            run.save({{"Serial Options", "Com3 Device", "/dev/ttyUSB1"}});
        QVERIFY(failed && failed->detail.contains("disk full"));
        QVERIFY(!run.save({{"Serial Options", "Serial Control", "1"}})); // memory only
    }

    // The redrawn line fits the terminal: the bar, of the whole sequence, goes first.
    void progressLine_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("line");
        // clang-format off
        QTest::newRow("an exposure, wide: the longest bar") << "exposure" << 120 << "Exposure 2 of 40: 118 of 300 s  [#####.........................]  03:12:45 left";
        QTest::newRow("a pause, 70 columns: the bar takes what is left") << "pause" << 70 << "Pause after 2 of 40: 4 of 10 s  [###.................]  03:12:45 left";
        QTest::newRow("a pause held for the guider to settle") << "settling" << 71 << "Pause after 2 of 40: 4 of 10 s, settling  [#..........]  03:12:45 left";
        QTest::newRow("narrow: no bar") << "exposure" << 50 << "Exposure 2 of 40: 118 of 300 s  03:12:45 left";
        QTest::newRow("narrower still: cut at the edge") << "exposure" << 20 << "Exposure 2 of 40: 1";
        // clang-format on
    }
    void progressLine()
    {
        QFETCH(QString, phase);
        QFETCH(int, columns);
        const bool pausing = phase != "exposure";
        // Two of 40 exposures of 300 s, 10 s apart, a sixth of the whole sequence done.
        const ProgressPoint point{
            2,    40,    pausing,   phase == "settling", pausing ? 4 : 118, pausing ? 10 : 300,
            2000, 12000, "03:12:45"};
        QTEST(kestrova::progressLine(point, columns), "line");
    }
};

QTEST_GUILESS_MAIN(TestTerminal)
#include "test_terminal.moc"
