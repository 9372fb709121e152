// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/JournalRecorder.h"

#include <utility>

namespace kestrova {

namespace {

constexpr std::int64_t NanosecondsPerMillisecond = 1'000'000;

JournalOutcome outcomeOf(Ending ending)
{
    switch (ending) {
    case Ending::Completed:
        break;
    case Ending::Cancelled:
        return JournalOutcome::Cancelled;
    case Ending::Failed:
        return JournalOutcome::Failed;
    }
    return JournalOutcome::Completed;
}

std::optional<JournalAwake> awakeOf(const QString& awake)
{
    if (awake == QLatin1String("portal"))
        return JournalAwake::Portal;
    if (awake == QLatin1String("logind"))
        return JournalAwake::Logind;
    if (awake == QLatin1String("screen saver"))
        return JournalAwake::ScreenSaver;
    return JournalAwake::No;
}

void describe(JournalRow& row, const JournalLine& line)
{
    row.interface = line.interface;
    row.port = line.port;
    row.line = line.line;
    row.activeLogic = line.activeLogic;
}

} // namespace

JournalRecorder::JournalRecorder(JournalWriter& writer, Clock monotonic)
    : writer_(writer), monotonic_(std::move(monotonic))
{
}

JournalRow JournalRecorder::row(JournalEvent event) const
{
    JournalRow row;
    row.utc = QDateTime::currentDateTimeUtc();
    row.event = event;
    row.sequence = sequence_;
    if (sequence_)
        row.offsetMs = (monotonic_() - sequenceStart_) / NanosecondsPerMillisecond;
    return row;
}

void JournalRecorder::write(const JournalRow& row)
{
    // The writer tells the user of a failure itself, once a night; the night goes on.
    [[maybe_unused]] const std::optional<JournalFailure> failure = writer_.append(row);
}

void JournalRecorder::sequenceStarted(int exposures, int exposureSeconds, int delaySeconds,
                                      const JournalLine& line)
{
    sequenceStart_ = monotonic_();
    JournalRow start = row(JournalEvent::SequenceStart);
    sequence_ = writer_.beginSequence(start.utc);
    start.sequence = sequence_;
    start.offsetMs = 0;
    start.exposures = exposures;
    start.exposureS = exposureSeconds;
    start.delayS = delaySeconds;
    describe(start, line);
    write(start);
}

void JournalRecorder::exposureOpened(int exposure, int plannedSeconds)
{
    exposureOpened_ = monotonic_();
    plannedSeconds_ = plannedSeconds;
    JournalRow open = row(JournalEvent::Open);
    open.exposure = exposure;
    open.plannedS = plannedSeconds;
    write(open);
}

void JournalRecorder::exposureClosed(int exposure, Ending ending)
{
    JournalRow close = row(JournalEvent::Close);
    close.exposure = exposure;
    close.plannedS = plannedSeconds_;
    close.measuredMs = (monotonic_() - exposureOpened_) / NanosecondsPerMillisecond;
    if (ending != Ending::Completed)
        close.outcome = outcomeOf(ending);
    write(close);
}

void JournalRecorder::sequenceEnded(const SequenceEnd& end, const QString& awake)
{
    if (!sequence_)
        return;
    JournalRow last = row(JournalEvent::SequenceEnd);
    last.exposures = end.exposuresDone;
    last.outcome = outcomeOf(end.reason);
    if (end.reason == Ending::Failed)
        last.detail = end.failure.text;
    last.awake = awakeOf(awake);
    write(last);
    sequence_.reset();
}

void JournalRecorder::openedByHand(const JournalLine& line)
{
    openedByHand_ = monotonic_();
    JournalRow open = row(JournalEvent::ManualOpen);
    describe(open, line);
    write(open);
}

void JournalRecorder::closedByHand(const JournalLine& line)
{
    JournalRow close = row(JournalEvent::ManualClose);
    describe(close, line);
    if (const std::optional<std::int64_t> opened = std::exchange(openedByHand_, std::nullopt))
        close.measuredMs = (monotonic_() - *opened) / NanosecondsPerMillisecond;
    write(close);
}

void JournalRecorder::configurationChanged(const JournalLine& line, const QString& detail)
{
    JournalRow change = row(JournalEvent::ConfigChange);
    describe(change, line);
    change.detail = detail;
    write(change);
}

} // namespace kestrova
