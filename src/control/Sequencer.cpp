// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/Sequencer.h"

#include "control/TickSource.h"
#include "shutter/ShutterLine.h"

#include <cmath>
#include <utility>

namespace kestrova {

namespace {

constexpr int TickMilliseconds = 1000;

// The line's own explanation followed by what became of the sequence.
QString withOutcome(const QString& detail, const QString& outcome)
{
    return detail.isEmpty() ? outcome : detail + QStringLiteral("\n\n") + outcome;
}

QString twoDigits(Int16 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

void SplitTime(Int16 t, SequenceState& state)
{
    state.Hours = Int16(std::floor(double(t) / 3600.0));
    const Int16 belowHour = sub16(t, mul16(state.Hours, 3600));
    state.Minutes = Int16(std::floor(double(belowHour) / 60.0));
    state.Seconds = sub16(belowHour, mul16(state.Minutes, 60));
}

QString timeCaption(const SequenceState& state)
{
    return twoDigits(state.Hours) + QLatin1Char(':') + twoDigits(state.Minutes) + QLatin1Char(':') +
           twoDigits(state.Seconds);
}

Sequencer::Sequencer(ShutterLine& line, TickSource& ticks, QObject* parent)
    : QObject(parent), line_(line), ticks_(ticks)
{
    ticks_.setEnabled(false);
}

void Sequencer::Start()
{
    if (running())
        return;
    if (std::optional<Failure> invalid = readStartValues()) {
        ticks_.setEnabled(false);
        emit message(*invalid);
        return;
    }
    showTotal();

    emit runningChanged(true);
    emit exposureTimeChanged(QStringLiteral("0"));
    state_.ExposureElapsed = 0;
    state_.ExposuresDone = 0;
    emit exposuresChanged(QStringLiteral("0"));

    if (LineResult failed = line_.openShutter()) {
        failed->detail =
            withOutcome(failed->detail, QString::fromLatin1(messages::SequenceNotStarted));
        end(std::move(failed), true);
        return;
    }
    state_.Exposing = true;
    // The schedule starts at the edge, before anyone hears of it: the journal's row, synced to
    // disk, may take many milliseconds, which would otherwise lengthen the first exposure.
    ticks_.setInterval(TickMilliseconds);
    ticks_.setEnabled(true);
    moved(true);
    started_ = true;
    emit started();
}

// Converts the three fields in their fixed order, keeping each value converted before a failure,
// and computes the total. Returns what to tell the user when the values cannot make a sequence
// that ends by itself.
std::optional<Failure> Sequencer::readStartValues()
{
    const auto invalid = [](const QString& rule) {
        return Failure{QString::fromLatin1(messages::InvalidSequenceValues), rule};
    };
    const auto read = [](const QString& text, Int16& value) {
        const std::optional<Int16> converted = toInt16(text);
        if (converted)
            value = *converted;
        return converted.has_value();
    };
    if (!read(exposureTime_, state_.ExposureRemaining))
        return invalid(messages::exposureTimeRule());
    if (!read(delay_, state_.DelayRemaining))
        return invalid(messages::delayRule());
    if (!read(numExposures_, state_.ExposuresRemaining))
        return invalid(messages::countRule());

    if (state_.ExposureRemaining < 1)
        return invalid(messages::exposureTimeRule());
    if (state_.ExposuresRemaining < 1)
        return invalid(messages::countRule());
    if (state_.ExposuresRemaining > 1 && state_.DelayRemaining < 1)
        return invalid(messages::delayRule());

    try {
        const Int16 pauses = sub16(state_.ExposuresRemaining, 1);
        state_.TotalRemaining = add16(mul16(pauses, state_.DelayRemaining),
                                      mul16(state_.ExposuresRemaining, state_.ExposureRemaining));
    } catch (const OverflowError&) {
        return invalid(messages::sequenceTooLong());
    }
    return std::nullopt;
}

void Sequencer::Tick()
{
    if (!running())
        return;
    // A pause held past its delay adds to no count, up to the tick that ends it: the time left
    // is the plan's.
    const bool pastPause = state_.Delaying && state_.DelayRemaining == 0;
    // An exposure or pause lengthened by an edit outlasts the total computed at Start; the
    // read-out then stays at zero rather than counting below it.
    if (state_.TotalRemaining > 0 && !pastPause)
        state_.TotalRemaining = sub16(state_.TotalRemaining, 1);
    showTotal();

    if (state_.Exposing) {
        state_.ExposureRemaining = sub16(state_.ExposureRemaining, 1);
        state_.ExposureElapsed = add16(state_.ExposureElapsed, 1);
        emit exposureTimeChanged(QString::number(state_.ExposureElapsed));
        if (state_.ExposureRemaining == 0)
            endExposure();
        return;
    }
    emit exposureTimeChanged(QStringLiteral("..."));
    if (!pastPause)
        state_.DelayRemaining = sub16(state_.DelayRemaining, 1);
    if (state_.DelayRemaining == 0 && !held_)
        endDelay();
}

void Sequencer::holdPause()
{
    if (state_.Delaying)
        held_ = true;
}

void Sequencer::releasePause()
{
    held_ = false;
}

void Sequencer::endExposure()
{
    state_.ExposuresRemaining = sub16(state_.ExposuresRemaining, 1);
    state_.ExposuresDone = add16(state_.ExposuresDone, 1);
    state_.Exposing = false;
    emit exposuresChanged(QString::number(state_.ExposuresDone));
    if (state_.ExposuresRemaining == 0) {
        end(std::nullopt);
        return;
    }

    state_.Delaying = true;
    const std::optional<Int16> delay = readAgain(delay_, "Delay Between Exposures", "pause");
    if (!delay)
        return;
    state_.DelayRemaining = *delay;
    drive(false);
}

void Sequencer::endDelay()
{
    state_.Delaying = false;
    state_.Exposing = true;
    const std::optional<Int16> exposure = readAgain(exposureTime_, "Exposure Time", "exposure");
    if (!exposure)
        return;
    state_.ExposureRemaining = *exposure;
    emit exposureTimeChanged(QStringLiteral("0"));
    state_.ExposureElapsed = 0;
    drive(true);
}

// A field read again at a phase change. A value that cannot time the next exposure or pause
// ends the sequence, and nothing is returned.
std::optional<Int16> Sequencer::readAgain(const QString& text, const char* field, const char* phase)
{
    const std::optional<Int16> value = toInt16(text);
    if (value && *value >= 1)
        return value;
    end(Failure{QString::fromLatin1(messages::InvalidSequenceValues),
                messages::fieldReadAgainInvalid(QLatin1String(field), QLatin1String(phase))});
    return std::nullopt;
}

// Switches the shutter at a phase change; a line that fails ends the sequence.
void Sequencer::drive(bool open)
{
    LineResult failed = open ? line_.openShutter() : line_.closeShutter();
    if (!failed) {
        moved(open);
        return;
    }
    failed->detail = withOutcome(failed->detail, QString::fromLatin1(messages::SequenceStopped));
    end(std::move(failed), true);
}

// Tells of the exposure the line has just opened or closed: one that closes with no second left
// has run its full length, whatever ends the sequence then.
void Sequencer::moved(bool open, Ending ending)
{
    if (open) {
        openExposure_ = state_.ExposuresDone + 1;
        emit exposureOpened(openExposure_, state_.ExposureRemaining);
    } else if (const int closed = std::exchange(openExposure_, 0)) {
        emit exposureClosed(closed, state_.ExposureRemaining == 0 ? Ending::Completed : ending);
    }
}

void Sequencer::Cancel()
{
    end(std::nullopt);
}

// Every way a sequence ends: the timer stops first, so that no tick arrives while a message box
// is open; then the shutter is closed and the controls go idle. A shutter that cannot be closed
// is what the user must hear about, unless the line has already failed in this handler.
void Sequencer::end(std::optional<Failure> failure, bool fromLine)
{
    // The phase flags may already be down when the last exposure ends.
    const bool wasStarted = std::exchange(started_, false);
    held_ = false;
    ticks_.setEnabled(false);
    if (LineResult failed = line_.closeShutter()) {
        if (!failure || !fromLine)
            failure =
                Failure{failed->text, withOutcome(failed->detail,
                                                  QString::fromLatin1(messages::ShutterMayBeOpen))};
    } else {
        moved(false, failure ? Ending::Failed : Ending::Cancelled);
    }
    emit runningChanged(false);
    emit exposureTimeChanged(QStringLiteral("0"));
    state_.Exposing = false;
    state_.Delaying = false;
    if (wasStarted)
        emit ended(endOf(failure));
    if (failure)
        emit message(*failure);
}

// Only the last exposure's end leaves no exposure remaining; a failure means the sequence failed.
SequenceEnd Sequencer::endOf(const std::optional<Failure>& failure) const
{
    SequenceEnd end;
    end.exposuresDone = state_.ExposuresDone;
    end.lastExposureSeconds = state_.ExposureElapsed;
    if (failure) {
        end.reason = SequenceEnd::Reason::Failed;
        end.failure = *failure;
    } else {
        end.reason = state_.ExposuresRemaining == 0 ? SequenceEnd::Reason::Completed
                                                    : SequenceEnd::Reason::Cancelled;
    }
    return end;
}

void Sequencer::showTotal()
{
    SplitTime(state_.TotalRemaining, state_);
    emit totalTimeChanged(timeCaption(state_));
}

} // namespace kestrova
