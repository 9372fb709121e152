// SPDX-License-Identifier: GPL-3.0-or-later
// What the journal costs on the event thread: one append (write and fdatasync) on a real disk,
// numbering a new sequence in a long night file, reading that file, and pairing a long night's
// image files with its exposures. Prints figures; not a test.
#include "journal/FrameMatching.h"
#include "journal/JournalFiles.h"
#include "journal/JournalWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <vector>

using namespace kestrova;

namespace {

QTextStream out(stdout);

void printSpread(const char* what, std::vector<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    const auto at = [&](double share) {
        return ns[std::min(ns.size() - 1, std::size_t(share * double(ns.size())))] / 1000.0;
    };
    out << what << ": " << ns.size() << " runs, median " << at(0.5) << " us, 99th percentile "
        << at(0.99) << " us, largest " << ns.back() / 1000.0 << " us\n";
}

JournalRow row(const QDateTime& utc, int sequence, int exposure, bool open)
{
    JournalRow r;
    r.utc = utc;
    r.event = open ? JournalEvent::Open : JournalEvent::Close;
    r.sequence = sequence;
    r.exposure = exposure;
    r.offsetMs = exposure * 310000LL;
    r.plannedS = 300;
    if (!open)
        r.measuredMs = 300001;
    return r;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    // The folder to write in: by default one under the current folder, on its disk (a temporary
    // folder may be in memory, where a sync costs nothing).
    const QString base = args.size() > 1 ? args[1] : QDir::currentPath();
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("journal-bench-XXXXXX")));
    if (!dir.isValid()) {
        out << "cannot make a folder in " << base << '\n';
        return 1;
    }
    const QDateTime start =
        QDateTime::fromString(QStringLiteral("2026-12-07T19:00:00Z"), Qt::ISODate);

    // Appends: the first opens and creates the file, the others reuse the open descriptor.
    JournalWriter writer(dir.path());
    std::vector<qint64> appendNs;
    QElapsedTimer timer;
    constexpr int Rows = 2000;
    for (int i = 0; i < Rows; ++i) {
        timer.start();
        const bool failed =
            writer.append(row(start.addSecs(i), 1, i / 2 + 1, i % 2 == 0)).has_value();
        appendNs.push_back(timer.nsecsElapsed());
        if (failed) {
            out << "append failed\n";
            return 1;
        }
    }
    printSpread("append (write + fdatasync)", appendNs);

    // A night file of 20000 rows: numbering a new sequence reads it whole.
    const QString night = nightFilePath(dir.path(), nightOf(start));
    {
        QFile file(night);
        if (!file.open(QIODevice::Append))
            return 1;
        for (int i = 0; i < 18000; ++i)
            file.write(row(start.addSecs(i), 2 + i / 200, i / 2 % 100 + 1, i % 2 == 0).toCsvLine());
    }
    std::vector<qint64> beginNs;
    for (int i = 0; i < 20; ++i) {
        timer.start();
        writer.beginSequence(start);
        beginNs.push_back(timer.nsecsElapsed());
    }
    printSpread("beginSequence on a 20000-row night file", beginNs);
    std::vector<qint64> readNs;
    for (int i = 0; i < 20; ++i) {
        timer.start();
        const JournalFileContent content = readJournalFile(night);
        readNs.push_back(timer.nsecsElapsed());
        if (content.parsed.rows.size() != 20000)
            out << "read " << content.parsed.rows.size() << " rows\n";
    }
    printSpread("read and parse the 20000-row night file", readNs);

    // Pairing: exposures 40 s apart, one file in 50 missing, a camera 1 h 3 min ahead that
    // stamps whole seconds.
    for (const int count : {250, 1000, 2000}) {
        QList<ExposureRecord> exposures;
        QList<ImageMetadata> images;
        for (int i = 0; i < count; ++i) {
            ExposureRecord e;
            e.sequence = 1;
            e.exposure = i + 1;
            e.openedAt = start.addSecs(40 * i).addMSecs(7);
            e.measuredMs = 30000;
            e.ending = ExposureEnding::Completed;
            exposures << e;
            if (i % 50 != 7)
                images << ImageMetadata{
                    QString::number(i),
                    e.openedAt.addSecs(3780).addMSecs(-e.openedAt.time().msec()),
                    30.0,
                    {}};
        }
        timer.start();
        const FramePairing pairing = pairFrames(images, exposures);
        const qint64 ms = timer.elapsed();
        out << "pairFrames, " << images.size() << " files x " << count << " exposures: " << ms
            << " ms, " << pairing.paired << " paired, offset "
            << (pairing.offsetMs ? offsetText(*pairing.offsetMs) : QStringLiteral("none")) << '\n';
    }
    return 0;
}
