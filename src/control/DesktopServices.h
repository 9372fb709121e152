// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kestrova {

// Asks the desktop not to suspend the computer or put it to sleep when idle. Both calls return
// at once; the desktop's answer arrives later on the event thread. inhibit() while inhibiting
// and release() while not are harmless.
class SleepInhibitor {
public:
    virtual ~SleepInhibitor() = default;
    virtual void inhibit(const QString& reason) = 0;
    virtual void release() = 0;
    // The way the computer is kept awake now, as the journal names it: "portal", "logind",
    // "screen saver"; empty when it is not.
    virtual QString holder() const = 0;
};

// One desktop notification; sent without waiting, and dropped when nobody takes it.
struct Notification {
    enum class Urgency { Normal, Critical };
    QString summary;
    QString body;
    Urgency urgency = Urgency::Normal;
};

class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void notify(const Notification& notification) = 0;
};

} // namespace kestrova
