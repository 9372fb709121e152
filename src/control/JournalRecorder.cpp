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

void JournalRecorder::stamp()
{
    stamped_ = {monotonic_(), QDateTime::currentDateTimeUtc()};
}

std::int64_t JournalRecorder::now()
{
    return stamped_ ? stamped_->first : monotonic_();
}

JournalRow JournalRecorder::row(JournalEvent event)
{
    JournalRow row;
    row.utc = stamped_ ? stamped_->second : QDateTime::currentDateTimeUtc();
    row.event = event;
    row.sequence = sequence_;
    if (sequence_)
        row.offsetMs = (now() - sequenceStart_) / NanosecondsPerMillisecond;
    return row;
}

void JournalRecorder::write(const JournalRow& row)
{
    // A stamp holds for the rows of its edge alone.
    stamped_.reset();
    // The writer tells the user of a failure itself, once a night; the night goes on.
    [[maybe_unused]] const std::optional<JournalFailure> failure = writer_.append(row);
}

void JournalRecorder::sequenceStarted(int exposures, int exposureSeconds, int delaySeconds,
                                      const JournalLine& line)
{
    if (!stamped_)
        stamp();
    sequenceStart_ = now();
    JournalRow start = row(JournalEvent::SequenceStart);
    sequence_ = writer_.beginSequence(start.utc);
    start.sequence = sequence_;
    start.offsetMs = 0;
    start.exposures = exposures;
    start.exposureS = exposureSeconds;
    start.delayS = delaySeconds;
    describe(start, line);
    // The first opening's row follows, at the same moment.
    const auto edge = stamped_;
    write(start);
    stamped_ = edge;
}

void JournalRecorder::exposureOpened(int exposure, int plannedSeconds)
{
    exposureOpened_ = now();
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
    close.measuredMs = (now() - exposureOpened_) / NanosecondsPerMillisecond;
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
    openedByHand_ = now();
    JournalRow open = row(JournalEvent::ManualOpen);
    describe(open, line);
    write(open);
}

void JournalRecorder::closedByHand(const JournalLine& line)
{
    JournalRow close = row(JournalEvent::ManualClose);
    describe(close, line);
    if (const std::optional<std::int64_t> opened = std::exchange(openedByHand_, std::nullopt))
        close.measuredMs = (now() - *opened) / NanosecondsPerMillisecond;
    write(close);
}

void JournalRecorder::configurationChanged(const JournalLine& line, const QString& detail)
{
    JournalRow change = row(JournalEvent::ConfigChange);
    describe(change, line);
    change.detail = detail;
    write(change);
}

void JournalRecorder::ditherRequested(int afterExposure, const DitherParameters& parameters)
{
    JournalRow dither = row(JournalEvent::Dither);
    dither.exposure = afterExposure;
    dither.detail = QStringLiteral("%1 px%2; settle within %3 px for %4 s, at most %5 s")
                        .arg(parameters.pixels)
                        .arg(parameters.raOnly ? QStringLiteral(", RA only") : QString())
                        .arg(parameters.settle.pixels)
                        .arg(parameters.settle.seconds)
                        .arg(parameters.settle.timeoutSeconds);
    write(dither);
}

void JournalRecorder::ditherReplied(bool accepted, const QString& guiderText)
{
    JournalRow reply = row(JournalEvent::DitherReply);
    reply.outcome = accepted ? JournalOutcome::Accepted : JournalOutcome::Refused;
    reply.detail = guiderText;
    write(reply);
}

void JournalRecorder::ditherFinished(const DitherOutcome& outcome)
{
    JournalRow settle = row(JournalEvent::Settle);
    switch (outcome.kind) {
    case DitherOutcome::Kind::Settled:
        settle.outcome = JournalOutcome::Settled;
        break;
    case DitherOutcome::Kind::SettleFailed:
        settle.outcome = JournalOutcome::SettleFailed;
        break;
    case DitherOutcome::Kind::Refused:
        settle.outcome = JournalOutcome::Refused;
        break;
    case DitherOutcome::Kind::TimedOut:
        settle.outcome = JournalOutcome::TimedOut;
        break;
    case DitherOutcome::Kind::ConnectionLost:
        settle.outcome = JournalOutcome::ConnectionLost;
        break;
    }
    settle.measuredMs = outcome.settleMs;
    if (outcome.shifted) {
        settle.dxPx = outcome.dx;
        settle.dyPx = outcome.dy;
    }
    settle.detail = outcome.text;
    write(settle);
}

void JournalRecorder::starLost(std::optional<int> exposure, const QString& details)
{
    JournalRow lost = row(JournalEvent::StarLost);
    lost.exposure = exposure;
    lost.detail = details;
    write(lost);
}

void JournalRecorder::guiderConnection(bool back, const QString& text)
{
    JournalRow guider = row(JournalEvent::Guider);
    guider.outcome = back ? JournalOutcome::ConnectionBack : JournalOutcome::ConnectionLost;
    guider.detail = text;
    write(guider);
}

} // namespace kestrova
