// SPDX-License-Identifier: GPL-3.0-or-later
// The guiding settings as the command line and the settings file give them; the dithering
// against a fake guider on a local port, and the once-a-night notices of its failures. A whole
// sequence's dithering, with its journal rows and notifications, is test_controller's.
#include "fakes/FakeGuider.h"
#include "guider/DitherCoordinator.h"
#include "guider/GuidingCommandLine.h"

#include <QtTest>

using namespace kestrova;
using test::FakeGuider;
using Kind = DitherOutcome::Kind;
using Stored = QMap<QString, QString>; // key in the "Guiding" group -> text

namespace {

// Short enough for the tests to be quick: a second is the shortest settle timeout there is.
const DitherParameters Quick{2.5, true, {0.8, 0, 1}};
// Generous: what the tests wait at most for the event loop to deliver.
constexpr int Patience = 10000;

// The settings as the texts they are stored as, in the order of their keys.
QString storedTexts(const GuidingSettings& settings)
{
    QStringList texts;
    for (const GuidingSettingText& text : guidingSettingsTexts(settings))
        texts << text.text;
    return texts.join(' ');
}

// A coordinator on the fake guider, each of its signals recorded.
struct Night {
    FakeGuider guider;
    DitherCoordinator coordinator;
    QSignalSpy probed{&coordinator, &DitherCoordinator::probed};
    QSignalSpy replied{&coordinator, &DitherCoordinator::replied};
    QSignalSpy finished{&coordinator, &DitherCoordinator::finished};
    QSignalSpy starLost{&coordinator, &DitherCoordinator::starLost};
    QSignalSpy lost{&coordinator, &DitherCoordinator::connectionLost};

    Night() { coordinator.setReconnectInterval(100); }

    // The probe at Start: what the user reads of it.
    QString start(int timeoutMs = 3000)
    {
        coordinator.probe(guider.address(), timeoutMs);
        return probed.wait(Patience) ? probed.last().at(1).toString() : "(no probe)";
    }
    // An outcome as its kind, the guider's shift when it made one, and its text.
    QString outcome(qsizetype index) const
    {
        const auto told = finished.at(index).at(0).value<DitherOutcome>();
        const QString shift = told.shifted ? QString(" by %1,%2").arg(told.dx).arg(told.dy) : "";
        return kindName(told.kind) + shift + ": " + told.text;
    }
    // Dithers with Quick and waits for its outcome.
    QString dither()
    {
        const qsizetype before = finished.size();
        coordinator.dither(Quick);
        return QTest::qWaitFor([&] { return finished.size() > before; }, Patience) ? outcome(before)
                                                                                   : "(no outcome)";
    }
};

} // namespace

class TestGuider : public QObject {
    Q_OBJECT
private slots:
    // An option on the command line, given alone: the settings it gives (over the defaults,
    // as their stored texts), or an error naming the option and the text as given, with the
    // allowed values, and what is wrong when there are several parts.
    // clang-format off
    void commandLineValues_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("settings"); // or a part of the error
        QTest::newRow("every: highest, in blanks") << "--dither-every" << " 1000 " << "1000 5 0 1.5 10 60 localhost 4400";
        QTest::newRow("every: negative") << "--dither-every" << "-1" << "from 0 to 1000; 0 turns dithering off";
        QTest::newRow("pixels: beyond the highest") << "--dither-pixels" << "100.01" << "more than 0 and at most 100";
        QTest::newRow("pixels: not a number") << "--dither-pixels" << "nan" << "more than 0 and at most 100";
        QTest::newRow("settle: lowest, blanks after commas") << "--settle" << "0.1, 0, 1" << "0 5 0 0.1 0 1 localhost 4400";
        QTest::newRow("settle: highest, timeout equal to the time") << "--settle" << "50,3600,3600" << "0 5 0 50 3600 3600 localhost 4400";
        QTest::newRow("settle: two values") << "--settle" << "1.5,10" << "three values are needed";
        QTest::newRow("settle: pixels beyond 50") << "--settle" << "51,10,60" << "the pixels \"51\" are out of range";
        QTest::newRow("settle: seconds beyond an hour") << "--settle" << "1.5,3601,3600" << "the seconds \"3601\" are out of range";
        QTest::newRow("settle: zero timeout") << "--settle" << "1.5,0,0" << "the timeout \"0\" is out of range";
        QTest::newRow("settle: timeout below the time") << "--settle" << "1.5,10,5" << "the timeout is below the seconds";
        QTest::newRow("settle: the ranges are told") << "--settle" << "x" << "PIXELS (more than 0, at most 50) for SECONDS (a whole number from 0 to 3600), giving up after TIMEOUT seconds (a whole number from 1 to 3600, not below SECONDS)";
        QTest::newRow("guider: host alone") << "--guider" << "pi.local" << "0 5 0 1.5 10 60 pi.local 4400";
        QTest::newRow("guider: IPv4 and highest port") << "--guider" << "192.168.1.5:65535" << "0 5 0 1.5 10 60 192.168.1.5 65535";
        QTest::newRow("guider: IPv6 with a port") << "--guider" << "[::1]:4401" << "0 5 0 1.5 10 60 ::1 4401";
        QTest::newRow("guider: IPv6 in brackets alone") << "--guider" << "[fe80::2]" << "0 5 0 1.5 10 60 fe80::2 4400";
        QTest::newRow("guider: bare IPv6") << "--guider" << "::1" << "0 5 0 1.5 10 60 ::1 4400";
        QTest::newRow("guider: empty host before a port") << "--guider" << ":4400" << "the host is empty or holds a blank";
        QTest::newRow("guider: port beyond 65535") << "--guider" << "pi:65536" << "the port \"65536\" is out of range";
        QTest::newRow("guider: bracket not closed") << "--guider" << "[::1:4400" << "the closing bracket is missing";
        QTest::newRow("guider: no colon after the bracket") << "--guider" << "[::1]4400" << "only :PORT may follow the bracket";
        QTest::newRow("guider: the rule is told") << "--guider" << "my pc:4400" << "a port from 1 to 65535 (4400 when left out)";
    }
    // clang-format on
    void commandLineValues()
    {
        QFETCH(QString, option);
        QFETCH(QString, text);
        QFETCH(QString, settings);
        QCommandLineParser parser;
        const GuidingCommandLine options;
        options.addTo(parser);
        QVERIFY(parser.parse({"kestrova", option + '=' + text}));
        const Parsed<GuidingSettings> parsed = options.apply(parser, {});
        const QString seen = parsed ? storedTexts(*parsed.value) : parsed.error;
        const QString errorStart = QStringLiteral("Invalid %1 \"%2\": ").arg(option, text);
        QVERIFY2(seen == settings || (seen.startsWith(errorStart) && seen.contains(settings)),
                 qPrintable(seen));
    }

    // What is read from stored texts (an unchanged text comes back as it was), and the keys whose
    // texts were not usable, in reading order.
    // clang-format off
    void storedValues_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QStringList>("unreadable");
        const QString defaults = "0 5 0 1.5 10 60 localhost 4400";
        QTest::newRow("lowest values, IPv6 host bare") << Stored{{"Dither Every", "1"}, {"Dither Pixels", "0.3"}, {"RA Only", "1"}, {"Settle Pixels", "0.1"}, {"Settle Time", "0"}, {"Settle Timeout", "1"}, {"Guider Host", "::1"}, {"Guider Port", "1"}} << "1 0.3 1 0.1 0 1 ::1 1" << QStringList{};
        QTest::newRow("highest values, a pixel count that needs every digit") << Stored{{"Dither Every", "1000"}, {"Dither Pixels", "100"}, {"RA Only", "0"}, {"Settle Pixels", "1.2345678901234567"}, {"Settle Time", "3600"}, {"Settle Timeout", "3600"}, {"Guider Host", "guider.example.org"}, {"Guider Port", "65535"}} << "1000 100 0 1.2345678901234567 3600 3600 guider.example.org 65535" << QStringList{};
        QTest::newRow("blanks around values, RA Only as a word") << Stored{{"Dither Every", " 2 "}, {"RA Only", " True"}, {"Settle Pixels", "\t0.8 "}, {"Guider Host", " pi.local "}} << "2 5 1 0.8 10 60 pi.local 4400" << QStringList{};
        QTest::newRow("out of range fall back") << Stored{{"Dither Every", "1001"}, {"Dither Pixels", "0"}, {"Settle Pixels", "51"}, {"Settle Time", "-1"}, {"Guider Port", "0"}} << defaults << QStringList{"Guiding/Dither Every", "Guiding/Dither Pixels", "Guiding/Settle Pixels", "Guiding/Settle Time", "Guiding/Guider Port"};
        QTest::newRow("not numbers, or not whole ones, a host in brackets: fall back") << Stored{{"Dither Every", "2.0"}, {"Dither Pixels", "five"}, {"RA Only", "yes"}, {"Settle Timeout", ""}, {"Guider Host", "[::1]"}, {"Guider Port", "44OO"}} << defaults << QStringList{"Guiding/Dither Every", "Guiding/Dither Pixels", "Guiding/RA Only", "Guiding/Settle Timeout", "Guiding/Guider Host", "Guiding/Guider Port"};
        QTest::newRow("timeout below the settle time: both back") << Stored{{"Settle Time", "120"}, {"Settle Timeout", "60"}, {"Dither Every", "4"}} << "4 5 0 1.5 10 60 localhost 4400" << QStringList{"Guiding/Settle Time", "Guiding/Settle Timeout"};
        QTest::newRow("a timeout unusable below a long settle time: both back") << Stored{{"Settle Time", "100"}, {"Settle Timeout", "x"}} << defaults << QStringList{"Guiding/Settle Timeout", "Guiding/Settle Time"};
    }
    // clang-format on
    void storedValues()
    {
        QFETCH(Stored, stored);
        const LoadedGuidingSettings loaded =
            readGuidingSettings([&stored](const QString& key, const QString& defaultText) {
                return stored.value(key, defaultText);
            });
        QTEST(storedTexts(loaded.settings), "settings");
        QTEST(loaded.unreadable, "unreadable");
    }

    // --guiding: what dithering does, then every stored key with its value and its option.
    void describedSettings()
    {
        const GuidingSettings settings{3, {2.5, true, {0.7, 5, 30}}, {"::1", 4401}};
        QCOMPARE(describeGuidingSettings(settings),
                 QStringLiteral("Dithering after every 3 exposures (never after the last), "
                                "through the guider at [::1]:4401.\n"
                                "Stored in the group \"Guiding\" of the settings file:\n"
                                "Setting         Value  Option\n"
                                "Dither Every    3      --dither-every K (0: off)\n"
                                "Dither Pixels   2.5    --dither-pixels P\n"
                                "RA Only         1      --dither-ra-only\n"
                                "Settle Pixels   0.7    --settle PIXELS,SECONDS,TIMEOUT\n"
                                "Settle Time     5\n"
                                "Settle Timeout  30\n"
                                "Guider Host     ::1    --guider HOST[:PORT]\n"
                                "Guider Port     4401\n"));
        QVERIFY(describeGuidingSettings(GuidingSettings{}).startsWith("Dithering is off"));
    }

    // One dither and its outcome as the guider scripts it: the request as PHD2 takes it, the
    // outcome with the shift and the guider's own words in its text; the answer split across reads,
    // its end and the settling in one, or junk ahead of it, change nothing. A SettleDone ahead of
    // the answer, or after the settle timeout, belongs to no dither.
    // clang-format off
    void ditherOutcomes_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected"); // the start of Night::outcome()
        QTest::newRow("settle failed") << "failed" << "settle failed by 1.25,-0.75: The guider did not settle: Star lost.";
        QTest::newRow("settle timeout, SettleDone late") << "late" << "timed out by 1.25,-0.75: The guider had not settled at the settle timeout of 1 s. Its last distance was 2.50 px.";
        QTest::newRow("refused") << "refused" << "refused: The guider refused the dither: cannot dither when not guiding (code 1).";
        QTest::newRow("answer split across reads, its end and the settling in one") << "split" << "settled by 1.25,-0.75: The guider settled after ";
        QTest::newRow("unknown events, malformed lines, a stray SettleDone") << "junk" << "settled by 1.25,-0.75: The guider settled after ";
    }
    // clang-format on
    void ditherOutcomes()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        Night night;
        FakeGuider& guider = night.guider;
        guider.settle = script == "failed" ? FakeGuider::Settle::Failed : FakeGuider::Settle::Done;
        guider.settleAfterMs = script == "late" ? 1200 : 0;
        guider.refusal = script == "refused" ? "cannot dither when not guiding" : "";
        guider.splitAnswer = script == "split";
        if (script == "junk")
            guider.aheadOfAnswer =
                FakeGuider::event(R"({"Event":"SomethingNew","Detail":[1,2]})") +
                "{\"Event\":\"GuideStep\",\"Frame\":3,\"dx\":0.1\r\n"
                "not json at all\r\n\r\n"
                "[1,2,3]\r\n"
                "{\"Event\":42}\r\n"
                "{\"jsonrpc\":\"2.0\",\"result\":0,\"id\":999}\n"
                "{\"Event\":\"SettleDone\",\"Status\":1,\"Error\":\"an earlier dither's\"}\r\n";
        QVERIFY(night.start().endsWith("answered (PHD2 2.6.13, Guiding)."));

        const QString outcome = night.dither();
        QCOMPARE(
            guider.requests.value(0),
            R"({"id":1,"method":"dither",)"
            R"("params":{"amount":2.5,"raOnly":true,"settle":{"pixels":0.8,"time":0,"timeout":1}}})"
            "\r\n");
        QVERIFY2(outcome.startsWith(expected), qPrintable(outcome));
        // What the guider still sends of this dither comes ahead of a StarLost sent after it.
        QTRY_VERIFY_WITH_TIMEOUT(guider.settleDonesSent > 0 || !guider.refusal.isEmpty(), Patience);
        guider.sendStarLost();
        QVERIFY(night.starLost.wait(Patience));
        QCOMPARE(night.finished.size(), 1);
        QVERIFY(night.lost.isEmpty());
    }

    // A night with a troubled guider. At Start it is silent: the user reads which address did
    // not answer and why. A lost star is told also during a dither, which goes on; a dither
    // asked for while one settles is refused at once. The connection dropped during a dither,
    // the guider gone a while, then taking a request and never saying a word more (its network
    // gone): each dither has its outcome, at once or at the settle timeout; Kestrova connects
    // again in the background. stop() ends the night: the dither under way is dropped and no
    // reconnection follows.
    void troubledNight()
    {
        Night night;
        FakeGuider& guider = night.guider;
        const QString address = guider.address().text();
        guider.greets = false;
        QVERIFY(night.start(300).startsWith("The guider at " + address +
                                            " did not answer (no greeting within 0.3 s)."));
        guider.greets = true;
        QCOMPARE(night.start(), "The guider at " + address + " answered (PHD2 2.6.13, Guiding).");
        guider.settleAfterMs = 300;
        night.coordinator.dither(Quick);
        night.coordinator.dither(Quick);
        QVERIFY(night.replied.wait(Patience));
        guider.sendStarLost();
        QTRY_COMPARE_WITH_TIMEOUT(night.finished.size(), 2, Patience);
        QCOMPARE(night.outcome(0), "refused: The previous dither is still settling.");
        QCOMPARE(night.starLost.size(), 1);
        QCOMPARE(night.starLost[0][0].toString(),
                 "The guide star was lost (frame 812, SNR 3.2, star mass 410, error code 2): "
                 "Star lost - low SNR.");

        guider.settle = FakeGuider::Settle::Never;
        night.coordinator.dither(Quick);
        QTRY_COMPARE_WITH_TIMEOUT(night.replied.size(), 2, Patience);
        guider.dropClients();
        QTRY_COMPARE_WITH_TIMEOUT(night.finished.size(), 3, Patience);
        QVERIFY(night.outcome(2).startsWith("connection lost by 1.25,-0.75: The connection to the "
                                            "guider at " +
                                            address + " was lost during the dither"));
        QTRY_VERIFY_WITH_TIMEOUT(night.coordinator.isConnected(), Patience);

        guider.stopListening();
        QTRY_COMPARE_WITH_TIMEOUT(night.lost.size(), 2, Patience);
        QCOMPARE(night.dither(), "connection lost: No dither: the guider at " + address +
                                     " is not connected; Kestrova keeps trying to connect.");
        QVERIFY(guider.listen(guider.address().port));
        QTRY_VERIFY_WITH_TIMEOUT(night.coordinator.isConnected(), Patience);

        guider.answers = false;
        QCOMPARE(night.dither(),
                 "timed out: The guider had not settled at the settle timeout of 1 s.");
        QTRY_COMPARE_WITH_TIMEOUT(night.lost.size(), 3, Patience);
        QVERIFY(night.lost[2][0].toString().contains(
            "no word from the guider in the 1 s since the dither"));
        guider.answers = true;
        QTRY_VERIFY_WITH_TIMEOUT(night.coordinator.isConnected(), Patience);

        night.coordinator.dither(Quick);
        QTRY_COMPARE_WITH_TIMEOUT(guider.requests.size(), 4, Patience);
        night.coordinator.stop();
        QVERIFY(!night.coordinator.isDithering());
        QTRY_COMPARE_WITH_TIMEOUT(guider.clients(), 0, Patience);
        QTest::qWait(1100); // past the settle timeout and many reconnection intervals
        QCOMPARE(night.finished.size(), 5); // none for the dither under way at stop()
        QVERIFY(night.outcome(1).startsWith("settled by ")); // the one the star was lost in
        QCOMPARE(night.lost.size(), 3); // the failed tries in between are not news
        QCOMPARE(guider.accepted, 5);
    }

    // Each kind of failure is notified once a night (test_controller counts the kinds in a
    // sequence), and again in the next.
    void failureNoticesOncePerNight()
    {
        DitherFailureNotices notices;
        QVERIFY(notices.shouldNotify(Kind::TimedOut) && !notices.shouldNotify(Kind::TimedOut));
        notices.startNight();
        QVERIFY(notices.shouldNotify(Kind::TimedOut));
    }
};

QTEST_GUILESS_MAIN(TestGuider)
#include "test_guider.moc"
