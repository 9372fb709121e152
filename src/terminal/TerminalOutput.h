// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <chrono>
#include <memory>

namespace kestrova {

// Standard output and standard error written by a thread of their own, so that a terminal that
// does not take them (output stopped with Ctrl+S, an SSH connection stalled) never holds up the
// event thread that times the exposures, and one that is gone (a dropped connection, a closed
// pipe) only loses the text. Texts are written in the order given, whole.
class TerminalOutput {
public:
    TerminalOutput(int outputFd = 1, int errorFd = 2);
    // Waits a moment for what is queued; a writer still blocked then is left to the process's end.
    ~TerminalOutput();
    TerminalOutput(const TerminalOutput&) = delete;
    TerminalOutput& operator=(const TerminalOutput&) = delete;

    // Queued at once. Progress beyond what a stalled terminal holds back is dropped; errors never.
    void out(const QByteArray& text);
    void err(const QByteArray& text);
    // Waits until everything queued is written, or the time is up; true when it was.
    bool drain(std::chrono::milliseconds limit);

    bool outputIsTerminal() const;
    // The width of the terminal on standard output; 80 when it does not say.
    int columns() const;

private:
    struct Queue;
    std::shared_ptr<Queue> queue_;
    int outputFd_;
    int errorFd_;
};

} // namespace kestrova
