// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Messages.h"
#include "config/Conversions.h"

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

// The main window's controls as the sequencer sees them: the three input fields, the three
// read-outs, the three buttons, and the window's way of telling the user.
class SequencerControls {
public:
    virtual ~SequencerControls() = default;

    virtual QString numExposuresText() const = 0; // txtNumExposures
    virtual QString exposureTimeText() const = 0; // txtLXTime
    virtual QString delayText() const = 0;        // txtDelay

    virtual void setTotalTimeCaption(const QString& caption) = 0;    // lblTotalTime
    virtual void setExposureTimeCaption(const QString& caption) = 0; // lblExposureTime
    virtual void setExposuresCaption(const QString& caption) = 0;    // lblExposures

    virtual void setStartEnabled(bool enabled) = 0;   // cmdStart
    virtual void setCancelEnabled(bool enabled) = 0;  // cmdCancel
    virtual void setConnectEnabled(bool enabled) = 0; // cmdConnect

    // Shows a message box and returns when it is dismissed.
    virtual void showMessage(const QString& text, const QString& detail) = 0;
};

// How a running sequence came to its end, for those who follow it from outside the window.
struct SequenceEnd {
    enum class Reason { Completed, Cancelled, Failed };
    Reason reason = Reason::Completed;
    Int16 exposuresDone = 0;
    Int16 lastExposureSeconds = 0; // the length of the last exposure taken
    QString text;                  // for Failed: the message the user is shown
    QString detail;
};

// Told when a sequence starts and when it ends, whichever way. Called before any message box of
// the ending is shown, so the news does not wait for the user.
class SequenceObserver {
public:
    virtual ~SequenceObserver() = default;
    virtual void sequenceStarted() = 0;
    virtual void sequenceEnded(const SequenceEnd& end) = 0;
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
class Sequencer {
public:
    // All three must outlive the sequencer. The owner delivers each timeout() of ticks to Tick.
    Sequencer(SequencerControls& controls, ShutterLine& line, TickSource& ticks);

    void Start();
    void Tick();
    void Cancel();

    // The observer, if any, must outlive the sequencer or be unset first.
    void setObserver(SequenceObserver* observer) { observer_ = observer; }

    const SequenceState& state() const { return state_; }
    bool running() const { return state_.Exposing || state_.Delaying; }

private:
    // What the user is told when a sequence cannot start or go on.
    struct Report {
        QString text;
        QString detail;
        bool fromLine = false;
    };

    std::optional<Report> readStartValues();
    void showTotal();
    void endExposure();
    void endDelay();
    std::optional<Int16> readAgain(const QString& text, const char* field, const char* phase);
    void drive(void (ShutterLine::*shutter)());
    void end(std::optional<Report> report);
    SequenceEnd endOf(const std::optional<Report>& report) const;

    SequencerControls& controls_;
    ShutterLine& line_;
    TickSource& ticks_;
    SequenceState state_;
    bool started_ = false; // from a successful Start to the sequence's end
    SequenceObserver* observer_ = nullptr;
};

} // namespace kestrova
