// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/DesktopSession.h"

#include "control/Messages.h"

namespace kestrova {

namespace {

// The notification for a sequence that has ended, if it deserves one: none for Cancel.
std::optional<Notification> notificationFor(const SequenceEnd& end)
{
    switch (end.reason) {
    case SequenceEnd::Reason::Completed:
        return Notification{messages::sequenceComplete(end.exposuresDone, end.lastExposureSeconds),
                            QString(), Notification::Urgency::Normal};
    case SequenceEnd::Reason::Failed:
        return Notification{end.failure.text, end.failure.detail, Notification::Urgency::Critical};
    case SequenceEnd::Reason::Cancelled:
        break;
    }
    return std::nullopt;
}

} // namespace

DesktopSession::DesktopSession(SleepInhibitor& inhibitor, Notifier& notifier)
    : inhibitor_(inhibitor), notifier_(notifier)
{
}

void DesktopSession::sequenceStarted()
{
    sequenceRunning_ = true;
    // The sequence now drives the line and leaves it closed at its end.
    openByHand_ = false;
    update();
}

void DesktopSession::sequenceEnded(const SequenceEnd& end)
{
    sequenceRunning_ = false;
    update();
    if (const std::optional<Notification> notification = notificationFor(end))
        notifier_.notify(*notification);
}

void DesktopSession::setShutterOpenByHand(bool open)
{
    openByHand_ = open;
    update();
}

void DesktopSession::ended()
{
    sequenceRunning_ = false;
    openByHand_ = false;
    update();
}

void DesktopSession::tell(const QString& summary, const QString& body)
{
    notifier_.notify({summary, body, Notification::Urgency::Normal});
}

void DesktopSession::update()
{
    if (sequenceRunning_ || openByHand_)
        inhibitor_.inhibit(QString::fromLatin1(messages::KeepAwakeReason));
    else
        inhibitor_.release();
}

} // namespace kestrova
