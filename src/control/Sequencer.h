// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/Messages.h"
#include "core/Conversions.h"
#include "core/Failure.h"

#include <QObject>
#include <QString>
#include <optional>

namespace kestrova {

class ShutterLine;
class TickSource;

// Counters and phase flags of a running sequence. At most one of Exposing and Delaying is true;
// both false is idle.
struct SequenceState {
    bool Exposing = false;
    bool Delaying = false;
    Int16 ExposureRemaining = 0;  // seconds left in the current exposure
    Int16 DelayRemaining = 0;     // at Start the delay used for the total; in a pause, seconds left
    Int16 ExposuresRemaining = 0; // exposures not yet completed, the current one included
    Int16 ExposuresDone = 0;
    Int16 ExposureElapsed = 0;
    Int16 TotalRemaining = 0; // seconds left for the whole sequence
    Int16 Hours = 0;          // the last split of TotalRemaining
    Int16 Minutes = 0;
    Int16 Seconds = 0;
};

// Splits a second count into state.Hours, state.Minutes and state.Seconds.
void SplitTime(Int16 t, SequenceState& state);

// The total time caption: "hh:mm:ss" from the last split.
QString timeCaption(const SequenceState& state);

// How an exposure or a running sequence came to its end: by itself, by Cancel (or the program's
// end), or by a failure.
enum class Ending { Completed, Cancelled, Failed };

// How a running sequence came to its end, for those who follow it from outside the window.
struct SequenceEnd {
    using Reason = Ending;
    Reason reason = Reason::Completed;
    Int16 exposuresDone = 0;
    Int16 lastExposureSeconds = 0; // the length of the last exposure taken
    Failure failure;               // for Failed: the message the user is shown
};

// The exposure sequencer: Start opens the shutter and enables the one-second timer, each Tick
// counts a second of the current exposure or pause and switches the shutter at the end of each,
// and the sequence ends by itself after the last exposure or early by Cancel.
//
// Every value is whole seconds in checked 16-bit arithmetic. A sequence that cannot end by
// itself is never started: each value must be at least 1 (the delay only when there is a pause),
// and the exposure time and the delay read again at each phase change must be too. When the
// line fails, or a value read again is not usable, the sequence ends with the timer stopped, the
// shutter closed as far as the line allows and the buttons idle, and the user is told once.
class Sequencer : public QObject {
    Q_OBJECT
public:
    // Both must outlive the sequencer. The owner delivers each timeout() of ticks to Tick.
    Sequencer(ShutterLine& line, TickSource& ticks, QObject* parent = nullptr);

    // The three fields as typed: the number of exposures is read at Start, the exposure time
    // and the delay at Start and again at each phase change.
    void setNumExposuresText(const QString& text) { numExposures_ = text; }
    void setExposureTimeText(const QString& text) { exposureTime_ = text; }
    void setDelayText(const QString& text) { delay_ = text; }

    void Start();
    void Tick();
    void Cancel();

    // In a pause: the next exposure waits, whatever the delay, until releasePause() (the guider
    // settling after a dither). The delay stays the shortest pause; a pause held beyond it ends
    // at the first tick after the release, and the time left is not counted down meanwhile.
    void holdPause();
    void releasePause();
    // The pause has passed and the next exposure waits for its release.
    bool waitingPastPause() const { return held_ && state_.Delaying && state_.DelayRemaining == 0; }

    const SequenceState& state() const { return state_; }
    bool running() const { return state_.Exposing || state_.Delaying; }

signals:
    // The read-outs' captions: lblTotalTime, lblExposureTime, lblExposures.
    void totalTimeChanged(const QString& caption);
    void exposureTimeChanged(const QString& caption);
    void exposuresChanged(const QString& caption);
    // At Start, before the shutter opens, and when the sequence ends: Start and the shutter
    // button are offered only while none runs, Cancel only while one does.
    void runningChanged(bool running);
    // Right after the line has moved: an exposure numbered from 1 opened for plannedSeconds,
    // and closed, having run its full length or cut short.
    void exposureOpened(int exposure, int plannedSeconds);
    void exposureClosed(int exposure, kestrova::Ending ending);
    void started();
    // Before the ending's message, so that the news does not wait for the user.
    void ended(const kestrova::SequenceEnd& end);
    // What the user is told when a sequence cannot start or go on, once the timer has stopped.
    void message(const kestrova::Failure& failure);

private:
    std::optional<Failure> readStartValues();
    void showTotal();
    void endExposure();
    void endDelay();
    std::optional<Int16> readAgain(const QString& text, const char* field, const char* phase);
    void drive(bool open);
    void moved(bool open, Ending ending = Ending::Completed);
    void end(std::optional<Failure> failure, bool fromLine = false);
    SequenceEnd endOf(const std::optional<Failure>& failure) const;

    ShutterLine& line_;
    TickSource& ticks_;
    QString numExposures_, exposureTime_, delay_;
    SequenceState state_;
    bool started_ = false; // from a successful Start to the sequence's end
    int openExposure_ = 0; // the exposure the line holds open, 0 for none
    bool held_ = false;    // the pause waits for releasePause()
};

} // namespace kestrova
