// SPDX-License-Identifier: GPL-3.0-or-later
// The night journal: its CSV, its night files, the writer's numbering and syncing, what it tells
// afterwards, and the pairing of image files (JPEGs with Exif written by libexiv2) with exposures.
#include "journal/FrameMatching.h"
#include "journal/JournalCommands.h"
#include "journal/JournalFiles.h"
#include "journal/JournalReading.h"
#include "journal/JournalWriter.h"
#include "system/Exiv2ImageReader.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <exiv2/exiv2.hpp>
#include <time.h>

using namespace kestrova;

namespace {

QDateTime local(const char* text)
{
    const QDateTime read = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
    return QDateTime(read.date(), read.time(), Qt::LocalTime);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path); // a descriptor of its own, apart from the writer's
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Writes a night through the writer, a step each 10 s after the given local time: "start" (10
// exposures of 300 s, 10 s apart), "open3", "close3", "end", "hand-open", "hand-close", each with
// ":cancelled" or the like for an outcome. A step it does not know fails the test.
void writeNight(JournalWriter& writer, const QString& steps, QDateTime at)
{
    static const QRegularExpression known(
        "^(start|end|hand-open|hand-close|open\\d+|close\\d+)(:(completed|cancelled|failed))?$");
    std::optional<int> sequence;
    for (const QString& step : steps.split(' ')) {
        QVERIFY2(known.match(step).hasMatch(), qPrintable("no such step: " + step));
        const QString name = step.section(':', 0, 0);
        JournalRow row;
        row.utc = (at = at.addSecs(10)).toUTC();
        for (const auto outcome :
             {JournalOutcome::Completed, JournalOutcome::Cancelled, JournalOutcome::Failed})
            if (journalOutcomeName(outcome) == step.section(':', 1))
                row.outcome = outcome;
        if (name == "start") {
            sequence = writer.beginSequence(at);
            row.event = JournalEvent::SequenceStart;
            row.exposures = 10;
            row.exposureS = 300;
            row.delayS = 10;
        } else if (name == "end") {
            row.event = JournalEvent::SequenceEnd;
        } else if (name.startsWith("hand")) {
            row.event = name == "hand-open" ? JournalEvent::ManualOpen : JournalEvent::ManualClose;
            if (name == "hand-close")
                row.measuredMs = 4500;
        } else {
            const bool open = name.startsWith("open");
            row.event = open ? JournalEvent::Open : JournalEvent::Close;
            row.exposure = name.mid(open ? 4 : 5).toInt();
            row.plannedS = 300;
            row.measuredMs =
                open ? std::nullopt : std::optional<qint64>(row.outcome ? 123456 : 300002);
        }
        row.sequence = name.startsWith("hand") ? std::nullopt : sequence;
        const QString failure = writer.append(row).value_or(JournalFailure()).text;
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
}

// The night the readers of the journal are given, from 22:00 local time: a sequence with its
// third exposure cancelled, an exposure by hand, then a sequence killed in its first exposure.
constexpr char SeventhNight[] = "start open1 close1 open2 close2 open3 close3:cancelled "
                                "end:cancelled hand-open hand-close start open1";

// Writes a JPEG, with Exif holding the camera's clock (and the digits of its sub-second, when
// the camera gives them) and the exposure time when captured is given.
void writeJpeg(const QString& path, const char* captured = nullptr, const char* subSecond = "",
               double exposureSeconds = 0)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    QVERIFY(image.save(path, "JPEG"));
    if (!captured)
        return;
    auto file = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    file->readMetadata();
    Exiv2::ExifData& exif = file->exifData();
    exif["Exif.Photo.DateTimeOriginal"] = captured;
    if (*subSecond)
        exif["Exif.Photo.SubSecTimeOriginal"] = subSecond;
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(qRound(exposureSeconds * 10), 10);
    file->writeMetadata();
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Central European time, without a time zone database: nights around noon and midnight,
        // and daylight saving time, come out the same on any machine.
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
    }

    // The exact text of every column; a row read back is the same row, whatever its texts hold;
    // the lines a reader skips (too short, not a number, cut off before its line end by a crash)
    // and the event of a newer program, read as unknown.
    void csv()
    {
        // Every column, in their order.
        // clang-format off
        JournalRow row{QDateTime::fromString("2026-12-07T21:04:05.123Z", Qt::ISODateWithMs),
                       JournalEvent::Close, 2, 3, 930001, 300, 120045, 7, 60, 5,
                       JournalInterface::Serial, "Com3 /dev/serial/by-id/a,b °C",
                       "DTR", true, JournalAwake::ScreenSaver, JournalOutcome::Cancelled,
                       "Port \"Com3\" failed,\r\nagain", -0.25, 1234.5};
        // clang-format on
        QCOMPARE(row.toCsvLine(),
                 "2026-12-07T21:04:05.123Z,close,2,3,930001,300,120045,7,60,5,serial,"
                 "\"Com3 /dev/serial/by-id/a,b °C\",DTR,1,screen saver,cancelled,"
                 "\"Port \"\"Com3\"\" failed,\r\nagain\",-0.25,1234.5\r\n");
        const ParsedJournal parsed = parseJournalCsv(
            QByteArray(JournalHeader) + "\r\n" + row.toCsvLine() +
            "2026-12-07T21:06:00.000Z,meridian-flip,1,,,,,,,,,,,,,,,,,extra\r\n" // a newer event
            "2026-12-07T21:06:01.000Z,open,1,x,,,,,,,,,,,,,,,\r\n"               // not a number
            "2026-12-07T21:06:02.000Z,open,1\r\n"                                // too short
            "\r\n"
            "2026-12-07T21:07:00.000Z,open,1,4,0,300,,,,,,,,,,,,,");
        QCOMPARE(parsed.malformedLines, 3);
        QCOMPARE(parsed.rows.size(), 2);
        QCOMPARE(parsed.rows[0].toCsvLine(), row.toCsvLine());
        QCOMPARE(parsed.rows[1].event, JournalEvent::Unknown);
        row.port = "a lone\nline feed";
        row.detail = "a lone\rcarriage return";
        QCOMPARE(parseJournalCsv(row.toCsvLine()).rows.value(0).toCsvLine(), row.toCsvLine());
    }

    // A night runs from local noon to local noon and is named by its evening.
    // clang-format off
    void nights_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QString>("file");
        QTest::newRow("midnight belongs to the evening before") << local("2026-12-08T00:00:00") << "2026-12-07.csv";
        QTest::newRow("a millisecond before noon") << local("2026-12-08T11:59:59.999") << "2026-12-07.csv";
        QTest::newRow("noon starts the next night") << local("2026-12-08T12:00:00") << "2026-12-08.csv";
        QTest::newRow("UTC 10:30 is 12:30 local in summer") << QDateTime::fromString("2026-06-21T10:30:00Z", Qt::ISODate) << "2026-06-21.csv";
    }
    // clang-format on
    void nights()
    {
        QFETCH(QDateTime, moment);
        QFETCH(QString, file);
        QCOMPARE(nightFileName(nightOf(moment)), file);
        QCOMPARE(nightOfFileName(file), nightOf(moment));
    }

    // XDG_STATE_HOME when it is absolute; without it, test_terminal_run's runs find their
    // journal under the home folder.
    void folderFromEnvironment()
    {
        qputenv("XDG_STATE_HOME", "/var/tmp/state");
        QCOMPARE(journalFolder(), "/var/tmp/state/kestrova");
        qputenv("XDG_STATE_HOME", "relative/state");
        QCOMPARE(journalFolder(), QDir::homePath() + "/.local/state/kestrova");
    }

    // The rows are in the file while the writer is open, after the header; numbers go on across
    // restarts, count the ones given out but not written, and start again in a new night; a
    // sequence keeps its file past noon; a line cut off by an earlier crash gets its line end
    // before the next row.
    void writerFilesAndNumbers()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("state/kestrova"); // made by the writer
        const QString night7 = nightFilePath(folder, QDate(2026, 12, 7));
        const QString night8 = nightFilePath(folder, QDate(2026, 12, 8));
        {
            JournalWriter writer(folder);
            QCOMPARE(writer.beginSequence(local("2026-12-07T22:00:00")), 1);
            writeNight(writer, "start open1", local("2026-12-07T22:00:00"));
            QCOMPARE(fileBytes(night7),
                     JournalHeader + QByteArray("\r\n") +
                         "2026-12-07T21:00:10.000Z,sequence-start,2,,,,,10,300,10,,,,,,,,,\r\n"
                         "2026-12-07T21:00:20.000Z,open,2,1,,300,,,,,,,,,,,,,\r\n");
            writeNight(writer, "start open1", local("2026-12-08T01:00:00"));
        }
        QFile cut(night7);
        QVERIFY(cut.open(QIODevice::Append | QIODevice::Unbuffered) &&
                cut.write("2026-12-08T00:01:00.000Z,op") > 0);
        JournalWriter writer(folder);
        QCOMPARE(writer.beginSequence(local("2026-12-08T02:00:00")), 4);
        QCOMPARE(writer.beginSequence(local("2026-12-08T12:30:00")), 1);
        writeNight(writer, "start open1 close1 hand-open end:completed hand-close",
                   local("2026-12-08T11:59:30"));
        const ParsedJournal seven = parseJournalCsv(fileBytes(night7));
        QCOMPARE(seven.malformedLines, 1); // the cut line alone
        QCOMPARE(seven.rows.size(), 8);
        QCOMPARE(seven.rows.last().event, JournalEvent::SequenceEnd);
        QCOMPARE(seven.rows.last().sequence, 5);
        QCOMPARE(parseJournalCsv(fileBytes(night8)).rows.size(), 2); // the hand rows
        QCOMPARE(latestNightFile(folder), night8);
    }

    // The last sequence of the newest night without its end (the night before, also left open,
    // does not count), and what the user is told of it. test_controller's killed night has the
    // counts of a plain one.
    // clang-format off
    void unfinishedSequence_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("told");
        QTest::newRow("an ended sequence, one killed, then an exposure by hand") << "start open1 close1:cancelled end:cancelled start open1 hand-open hand-close"
            << "Sequence 2 of the night of 2026-12-07, started 2026-12-07 21:00:50, did not come to its end: the journal stops at 2026-12-07 21:01:00, after 0 of 10 exposures of 300 s. Exposure 1, open at that moment, is not counted. The fields now hold what is left: 10 exposures of 300 s, 10 s apart. Press Start to take them.";
        QTest::newRow("a killed sequence, then one that ended") << "start open1 start open1 close1 end:failed" << "";
        QTest::newRow("no sequence at all") << "hand-open hand-close" << "";
    }
    // clang-format on
    void unfinishedSequence()
    {
        QFETCH(QString, steps);
        QTemporaryDir dir;
        JournalWriter writer(dir.path());
        writeNight(writer, "start open1", local("2026-12-06T21:00:00"));
        writeNight(writer, steps, local("2026-12-07T21:00:00"));
        std::optional<UnfinishedSequence> found = findUnfinishedSequence(dir.path());
        QTEST(found ? unfinishedSequenceText(*found) : QString(), "told");
        if (found) { // had it taken them all
            found->done = found->exposures;
            found->exposureInProgress.reset();
            QVERIFY(unfinishedSequenceText(*found).endsWith(
                "after 10 of 10 exposures of 300 s. All of its exposures were taken."));
        }
    }

    // The night afterwards. kestrova --journal: the folder, the newest night and its exposures; a
    // night on a disk that is not there. --match-frames, on the files of that night from a camera
    // whose clock is 1 h 03 min 27.5 s ahead of UTC and stamps whole seconds, half of them with
    // sub-seconds: the offset is the median of the pairs, not of the first guess. One frame
    // missing, one extra file, one exposure cancelled, one by hand, one whose close the journal
    // lacks, one file without Exif, one that is no image, and a file that is not an image by its
    // name. Nothing but the result is written into the folder.
    void journalTableAndFrames()
    {
        QTemporaryDir state, images;
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        QCOMPARE(printJournal(outStream, errStream, state.filePath("none")), 0);
        QCOMPARE(out, "No night has been written to the journal folder " + state.filePath("none") +
                          " yet.\n");
        JournalWriter writer(state.path());
        writeNight(writer, SeventhNight, local("2026-12-07T22:00:00"));
        const QString night = nightFilePath(state.path(), QDate(2026, 12, 7));
        QFile file(night);
        QVERIFY(file.open(QIODevice::Append | QIODevice::Unbuffered) && file.write("bad\r\n") > 0);
        out.clear();
        QCOMPARE(printJournal(outStream, errStream, state.path()), 0);
        QCOMPARE(err, QString());
        // clang-format off
        QCOMPARE(out, "Journal folder: " + state.path() + "\nNight of 2026-12-07: " + night + "\n\n"
                      "Exposure  Opened (local)       Opened (UTC)              Planned s  Measured s  Ended\n"
                      "1.1       2026-12-07 22:00:20  2026-12-07T21:00:20.000Z        300     300.002  completed\n"
                      "1.2       2026-12-07 22:00:40  2026-12-07T21:00:40.000Z        300     300.002  completed\n"
                      "1.3       2026-12-07 22:01:00  2026-12-07T21:01:00.000Z        300     123.456  cancelled\n"
                      "hand 1    2026-12-07 22:01:30  2026-12-07T21:01:30.000Z                  4.500  completed\n"
                      "2.1       2026-12-07 22:02:00  2026-12-07T21:02:00.000Z        300              no close: the journal stops here\n"
                      "\n1 line of the file could not be read and is left out.\n");
        // clang-format on

        writeJpeg(images.filePath("IMG_0001.JPG"), "2026:12:07 22:03:47", "5", 300);
        writeJpeg(images.filePath("IMG_0003.JPG"), "2026:12:07 22:04:27", "50", 123.5);
        writeJpeg(images.filePath("IMG_0004.JPG"), "2026:12:07 22:04:43", "", 30); // a test shot
        writeJpeg(images.filePath("IMG_0005.JPG"), "2026:12:07 22:04:57", "", 5);
        writeJpeg(images.filePath("IMG_0006.JPG"), "2026:12:07 22:05:27", "", 300);
        writeJpeg(images.filePath("flat.jpg"));
        for (const char* notAnImage : {"broken.jpg", "notes.txt"})
            QVERIFY(QFile::copy(night, images.filePath(notAnImage)));
        const auto contents = [&images] {
            QMap<QString, QByteArray> contents;
            for (const QString& name : QDir(images.path()).entryList(QDir::Files | QDir::Hidden))
                contents[name] = fileBytes(images.filePath(name));
            return contents;
        };
        const QMap<QString, QByteArray> before = contents();

        out.clear();
        QCOMPARE(matchFrames(images.path(), "2026-12-07", state.path(), Exiv2ImageReader(),
                             outStream, errStream),
                 0);
        QCOMPARE(err, QString());
        QMap<QString, QByteArray> after = contents();
        // libexiv2's own words for the file that is no image stand as "(a reason)".
        QString frames = QString::fromUtf8(after.take(FramesFileName));
        frames.replace(QRegularExpression("(broken\\.jpg,{8})[^\r]+"), "\\1(a reason)");
        QCOMPARE(after, before);
        // clang-format off
        QCOMPARE(frames.split("\r\n"), QStringList({
            "file,sequence,exposure,opened_utc,planned_s,measured_s,camera_exposure_s,offset_s,remark",
            "IMG_0001.JPG,1,1,2026-12-07T21:00:20.000Z,300,300.002,300,3807.500,",
            ",1,2,2026-12-07T21:00:40.000Z,300,300.002,,,no file for this exposure",
            "IMG_0003.JPG,1,3,2026-12-07T21:01:00.000Z,300,123.456,123.5,3807.500,cut short: cancelled",
            "IMG_0004.JPG,,,,,,30,3807.500,no exposure in the journal at this time",
            "IMG_0005.JPG,,1,2026-12-07T21:01:30.000Z,,4.500,5,3807.500,opened by hand",
            "IMG_0006.JPG,2,1,2026-12-07T21:02:00.000Z,300,,300,3807.500,no close: the journal stops here",
            "broken.jpg,,,,,,,,(a reason)", "flat.jpg,,,,,,,,no Exif data in the file", ""}));
        // clang-format on
        // clang-format off
        QVERIFY2(out.contains("\nCamera clock offset: +1:03:27.500 (the camera's clock minus UTC), from 4 files paired within 2.0 s.\n"
                              "Paired: 4. Files without an exposure: 1. Exposures without a file: 1. Exposures cut short: 1.\n"
                              "Files without a capture time (2):\n  broken.jpg: "), qPrintable(out));
        // clang-format on
        QVERIFY(out.contains("\n  flat.jpg: no Exif data in the file\n"));
        QVERIFY(!out.contains("Check the result"));

        const QString newer = nightFilePath(state.path(), QDate(2026, 12, 8));
        QVERIFY(QFile::link(state.filePath("unmounted/2026-12-08.csv"), newer));
        QCOMPARE(printJournal(outStream, errStream, state.path()), 1);
        QVERIFY2(err.startsWith("The night journal " + newer + " could not be read: "),
                 qPrintable(err));
    }

    // The offset stands against stray capture times, a file pairs with one exposure only, and a
    // result that could be shifted by whole exposures is told.
    // clang-format off
    void pairingOffset_data()
    {
        QTest::addColumn<QList<int>>("openings"); // seconds from 21:00 UTC
        QTest::addColumn<QList<int>>("captures"); // camera clock, seconds from 21:00
        // offset s, files paired, files and exposures left alone, rival offset s
        QTest::addColumn<QString>("found");
        QTest::newRow("camera 2 h behind, three strays, a copy of a file") << QList<int>{0, 100, 200, 300, 400, 500, 600, 700}
            << QList<int>{-7200, -7100, -7000, -6900, -6800, -6700, -6600, -6500, -5, 3333, -9000, -7100} << "-7200 8 4 0";
        QTest::newRow("a regular run missing its first frame") << QList<int>{0, 60, 120, 180} << QList<int>{360, 420, 480} << "300 3 0 1 rival 360";
        QTest::newRow("nothing lines up") << QList<int>{0, 100, 250} << QList<int>{7, 500, 1234} << "none 0 3 3";
    }
    // clang-format on
    void pairingOffset()
    {
        QFETCH(QList<int>, openings);
        QFETCH(QList<int>, captures);
        const QDateTime base = QDateTime::fromString("2026-12-07T21:00:00Z", Qt::ISODate);
        QList<ExposureRecord> exposures;
        for (const int s : openings)
            exposures << ExposureRecord{1,     int(exposures.size()) + 1, base.addSecs(s), {},
                                        30000, ExposureEnding::Completed};
        QList<ImageMetadata> images;
        for (const int s : captures)
            images << ImageMetadata{QString::number(s), base.addSecs(s), 30.0, {}};
        const FramePairing p = pairFrames(images, exposures);
        QString found = p.offsetMs ? QString::number(*p.offsetMs / 1000) : "none";
        found += QString::asprintf(" %d %d %d", p.paired, p.filesWithoutExposure,
                                   p.exposuresWithoutFile);
        if (p.rivalOffsetMs)
            found += " rival " + QString::number(*p.rivalOffsetMs / 1000);
        QTEST(found, "found");
    }

    // What goes wrong on the command line ends with a status and a reason, and writes nothing.
    // clang-format off
    void matchFramesRefusals_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("night");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("a month that is not") << "state" << "2026-13-01" << 2 << "--night needs";
        QTest::newRow("a night without a journal") << "state" << "2026-12-01" << 1 << "There is no journal for that night";
        QTest::newRow("no such folder") << "missing" << "2026-12-07" << 1 << "does not exist";
        QTest::newRow("no images in the folder") << "state" << "2026-12-07" << 1 << "No image files in";
        QTest::newRow("the newest night, without exposures") << "state" << "" << 1 << "holds no exposure";
    }
    // clang-format on
    void matchFramesRefusals()
    {
        QFETCH(QString, dir);
        QFETCH(QString, night);
        QTemporaryDir root;
        JournalWriter writer(root.filePath("state"));
        writeNight(writer, SeventhNight, local("2026-12-07T22:00:00"));
        writeNight(writer, "start", local("2026-12-08T22:00:00"));
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        QTEST(matchFrames(root.filePath(dir), night.isEmpty() ? std::nullopt : std::optional(night),
                          root.filePath("state"), Exiv2ImageReader(), outStream, errStream),
              "status");
        QFETCH(QString, message);
        QVERIFY2(err.contains(message) && out.isEmpty(), qPrintable(err + out));
        QVERIFY(!QFile::exists(root.filePath(dir + '/' + FramesFileName)));
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "test_journal.moc"
