// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/Controller.h"
#include "terminal/RunOptions.h"

#include <QObject>
#include <optional>

namespace kestrova {

class TerminalOutput;

// The exit statuses of a run in a terminal; a termination signal ends it with 128 + the signal
// (130 for Ctrl+C, 143 for SIGTERM, 129 for SIGHUP), after the sequence was cancelled.
namespace exitstatus {
inline constexpr int Completed = 0;
inline constexpr int LineFailed = 1; // the port could not be opened or switched
inline constexpr int Refused = 2;    // nothing started: a bad option or value, or the port is
                                     // driven by another Kestrova
inline constexpr int signalled(int signal)
{
    return 128 + signal;
}
} // namespace exitstatus

// A sequence, or --close, run by the controller with no window: it loads the controller (the line
// at its closed level), starts the sequence with the values given, shows its progress and tells
// the controller's messages on standard error.
class TerminalRun : public QObject {
    Q_OBJECT
public:
    // Redrawn: one line redrawn in place (a terminal); Lines: one plain line per edge (a pipe or
    // a file); Quiet: errors only.
    enum class Style { Redrawn, Lines, Quiet };

    // All must outlive the run. The controller is not yet loaded.
    TerminalRun(Controller& controller, const SettingsStore& store, RunOptions options,
                TerminalOutput& output, Style style, QObject* parent = nullptr);

    // Runs to the end on the event loop, which finished() then tells with the exit status.
    void begin();
    // A termination signal: a running sequence ends as Cancel ends it, with the line closed and
    // the journal's end written; then the run ends. Later signals change nothing.
    void terminate(int signal);

signals:
    void finished(int status);

private:
    void told(const Failure& failure);
    void unfinishedFound(const UnfinishedSequence& unfinished);
    void runningChanged(bool running);
    void exposureOpened(int exposure, int plannedSeconds);
    void exposureClosed(int exposure, Ending ending);
    void sequenceEnded(const SequenceEnd& end);
    void scheduleRedraw();
    void redraw();
    void clearProgressLine();
    void printLine(const QString& text);
    void finish(int status, const QString& closingText = {});
    QString configuredLine() const;

    Controller& controller_;
    const SettingsStore& store_;
    RunOptions options_;
    TerminalOutput& output_;
    Style style_;
    std::optional<Failure> firstFailure_; // the first line failure or refusal told
    int signal_ = 0;                      // the termination signal received, 0 for none
    bool waitingForGuider_ = false;       // Start waits for the guider to answer
    bool finished_ = false;
    bool redrawPending_ = false;
    bool progressShown_ = false; // a redrawn line stands on the terminal
    int exposures_ = 0;          // N
    int total_ = 0;              // the sequence's seconds
    int pauseLength_ = 0;        // the present pause's seconds
};

} // namespace kestrova
