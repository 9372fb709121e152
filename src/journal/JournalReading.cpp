// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalReading.h"

#include "journal/Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <algorithm>

namespace kestrova {

namespace {

QString localText(const QDateTime& utc)
{
    return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString utcText(const QDateTime& utc)
{
    return utc.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char('Z');
}

QString plural(int count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// Left-aligned text columns, right-aligned number columns, two spaces apart.
QString table(const QList<QStringList>& rows, const QList<bool>& rightAligned)
{
    QList<int> widths(rightAligned.size(), 0);
    for (const QStringList& row : rows)
        for (int i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], int(row[i].size()));
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            if (i > 0)
                line += QStringLiteral("  ");
            line += rightAligned[i] ? row[i].rightJustified(widths[i])
                                    : row[i].leftJustified(widths[i]);
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text += line + QLatin1Char('\n');
    }
    return text;
}

ExposureEnding endingOf(const JournalRow& close)
{
    if (close.outcome == JournalOutcome::Cancelled)
        return ExposureEnding::Cancelled;
    if (close.outcome == JournalOutcome::Failed)
        return ExposureEnding::Failed;
    return ExposureEnding::Completed;
}

} // namespace

std::optional<UnfinishedSequence> findUnfinishedSequence(const QList<JournalRow>& rows,
                                                         const QString& file)
{
    qsizetype start = -1;
    for (qsizetype i = rows.size() - 1; i >= 0 && start < 0; --i)
        if (rows[i].event == JournalEvent::SequenceStart && rows[i].sequence)
            start = i;
    if (start < 0)
        return std::nullopt;

    const JournalRow& first = rows[start];
    UnfinishedSequence unfinished;
    unfinished.file = file;
    unfinished.sequence = *first.sequence;
    unfinished.exposures = first.exposures.value_or(0);
    unfinished.exposureSeconds = first.exposureS.value_or(0);
    unfinished.delaySeconds = first.delayS.value_or(0);
    unfinished.startedAt = first.utc;
    unfinished.stoppedAt = first.utc;
    QSet<int> opened;
    QSet<int> closed;
    for (qsizetype i = start; i < rows.size(); ++i) {
        const JournalRow& row = rows[i];
        if (row.sequence != first.sequence)
            continue;
        if (row.event == JournalEvent::SequenceEnd)
            return std::nullopt;
        unfinished.stoppedAt = std::max(unfinished.stoppedAt, row.utc);
        if (row.event == JournalEvent::Open && row.exposure)
            opened.insert(*row.exposure);
        else if (row.event == JournalEvent::Close && row.exposure)
            closed.insert(*row.exposure);
    }
    unfinished.done = int(closed.size());
    for (const int exposure : opened)
        if (!closed.contains(exposure))
            unfinished.exposureInProgress =
                std::max(unfinished.exposureInProgress.value_or(exposure), exposure);
    return unfinished;
}

std::optional<UnfinishedSequence> findUnfinishedSequence(const QString& folder)
{
    const std::optional<QString> latest = latestNightFile(folder);
    if (!latest)
        return std::nullopt;
    const JournalFileContent content = readJournalFile(*latest);
    if (!content.failure.isEmpty())
        return std::nullopt;
    return findUnfinishedSequence(content.parsed.rows, *latest);
}

QString unfinishedSequenceText(const UnfinishedSequence& u)
{
    const std::optional<QDate> night = nightOfFileName(QFileInfo(u.file).fileName());
    const QString nightText =
        night ? QStringLiteral(" of the night of %1").arg(night->toString(Qt::ISODate)) : QString();
    QString text =
        QStringLiteral("Sequence %1%2, started %3, did not come to its end: the journal stops at "
                       "%4, after %5 of %6 of %7 s.")
            .arg(QString::number(u.sequence), nightText, localText(u.startedAt),
                 localText(u.stoppedAt), QString::number(u.done),
                 plural(u.exposures, "exposure", "exposures"), QString::number(u.exposureSeconds));
    if (u.exposureInProgress)
        text += QStringLiteral(" Exposure %1, open at that moment, is not counted.")
                    .arg(*u.exposureInProgress);
    if (u.exposuresLeft() == 0)
        return text + QStringLiteral(" All of its exposures were taken.");
    return text + QStringLiteral(" The fields now hold what is left: %1 of %2 s, %3 s apart. "
                                 "Press Start to take them.")
                      .arg(plural(u.exposuresLeft(), "exposure", "exposures"))
                      .arg(u.exposureSeconds)
                      .arg(u.delaySeconds);
}

QString exposureEndingText(ExposureEnding ending)
{
    switch (ending) {
    case ExposureEnding::Completed:
        return QStringLiteral("completed");
    case ExposureEnding::Cancelled:
        return QStringLiteral("cancelled");
    case ExposureEnding::Failed:
        return QStringLiteral("failed");
    case ExposureEnding::NoClose:
        break;
    }
    return QStringLiteral("no close: the journal stops here");
}

QString ExposureRecord::number() const
{
    if (sequence)
        return QStringLiteral("%1.%2").arg(*sequence).arg(exposure);
    return QStringLiteral("hand %1").arg(exposure);
}

QList<ExposureRecord> exposuresOf(const QList<JournalRow>& rows)
{
    QList<ExposureRecord> records;
    QHash<QPair<int, int>, qsizetype> bySequence; // (sequence, exposure) -> index
    std::optional<qsizetype> openByHand;
    int byHand = 0;
    // A close whose open row never reached the file still tells when the shutter opened.
    const auto openedBefore = [](const JournalRow& close) {
        return close.utc.addMSecs(-close.measuredMs.value_or(0));
    };
    for (const JournalRow& row : rows) {
        switch (row.event) {
        case JournalEvent::Open:
        case JournalEvent::Close: {
            if (!row.sequence || !row.exposure)
                break;
            const QPair<int, int> key(*row.sequence, *row.exposure);
            qsizetype index = bySequence.value(key, -1);
            if (row.event == JournalEvent::Open || index < 0) {
                ExposureRecord record;
                record.sequence = row.sequence;
                record.exposure = *row.exposure;
                record.openedAt = row.event == JournalEvent::Open ? row.utc : openedBefore(row);
                record.plannedS = row.plannedS;
                index = records.size();
                records << record;
                bySequence[key] = index;
            }
            if (row.event == JournalEvent::Close) {
                records[index].measuredMs = row.measuredMs;
                records[index].ending = endingOf(row);
            }
            break;
        }
        case JournalEvent::ManualOpen: {
            ExposureRecord record;
            record.exposure = ++byHand;
            record.openedAt = row.utc;
            openByHand = records.size();
            records << record;
            break;
        }
        case JournalEvent::ManualClose: {
            if (!openByHand) {
                ExposureRecord record;
                record.exposure = ++byHand;
                record.openedAt = openedBefore(row);
                openByHand = records.size();
                records << record;
            }
            records[*openByHand].measuredMs = row.measuredMs;
            records[*openByHand].ending = ExposureEnding::Completed;
            openByHand.reset();
            break;
        }
        default:
            break;
        }
    }
    std::stable_sort(
        records.begin(), records.end(),
        [](const ExposureRecord& a, const ExposureRecord& b) { return a.openedAt < b.openedAt; });
    return records;
}

QString journalText(const QString& folder, const JournalFileContent& night)
{
    const std::optional<QDate> date = nightOfFileName(QFileInfo(night.path).fileName());
    QString text = QStringLiteral("Journal folder: %1\n").arg(QDir::toNativeSeparators(folder));
    text += QStringLiteral("Night of %1: %2\n\n")
                .arg(date ? date->toString(Qt::ISODate) : QStringLiteral("?"),
                     QDir::toNativeSeparators(night.path));
    const QList<ExposureRecord> exposures = exposuresOf(night.parsed.rows);
    if (exposures.isEmpty()) {
        text += QStringLiteral("No exposure was taken that night.\n");
    } else {
        QList<QStringList> rows{{QStringLiteral("Exposure"), QStringLiteral("Opened (local)"),
                                 QStringLiteral("Opened (UTC)"), QStringLiteral("Planned s"),
                                 QStringLiteral("Measured s"), QStringLiteral("Ended")}};
        for (const ExposureRecord& e : exposures)
            rows << QStringList{e.number(),
                                localText(e.openedAt),
                                utcText(e.openedAt),
                                e.plannedS ? QString::number(*e.plannedS) : QString(),
                                e.measuredMs ? QString::number(*e.measuredMs / 1000.0, 'f', 3)
                                             : QString(),
                                exposureEndingText(e.ending)};
        text += table(rows, {false, false, false, true, true, false});
    }
    if (night.parsed.malformedLines > 0)
        text += QLatin1Char('\n') + messages::malformedLinesLeftOut(night.parsed.malformedLines) +
                QLatin1Char('\n');
    return text;
}

} // namespace kestrova
