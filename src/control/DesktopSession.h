// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/DesktopServices.h"
#include "control/Sequencer.h"

namespace kestrova {

// What the desktop hears of the camera's work: the computer is kept awake while a sequence runs
// or the shutter is held open by hand, and the user is told how a sequence ended, so that a user
// away from the screen finds it on the lock screen.
class DesktopSession {
public:
    // Both must outlive the session.
    DesktopSession(SleepInhibitor& inhibitor, Notifier& notifier);

    void sequenceStarted();
    void sequenceEnded(const SequenceEnd& end);
    // After each use of the manual shutter button, with the line's state then.
    void setShutterOpenByHand(bool open);
    // The program's work has ended: nothing of the camera's work goes on.
    void ended();
    // How the computer is kept awake now: "portal", "logind", "screen saver", or empty.
    QString keptAwakeBy() const { return inhibitor_.holder(); }
    // A notification of something the user should know, without a dialog that waits.
    void tell(const QString& summary, const QString& body);

private:
    void update();

    SleepInhibitor& inhibitor_;
    Notifier& notifier_;
    bool sequenceRunning_ = false;
    bool openByHand_ = false;
};

} // namespace kestrova
