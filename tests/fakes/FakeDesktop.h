// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/DesktopServices.h"

#include <QStringList>

namespace kestrova::test {

// The desktop's services in memory: the computer is held awake as logind would, and each
// notification is kept as "summary: body".
class FakeDesktop : public SleepInhibitor, public Notifier {
public:
    void inhibit(const QString&) override { held = QStringLiteral("logind"); }
    void release() override { held.clear(); }
    QString holder() const override { return held; }
    void notify(const Notification& notification) override
    {
        notifications << notification.summary + QStringLiteral(": ") + notification.body;
    }

    QString held;
    QStringList notifications;
};

} // namespace kestrova::test
