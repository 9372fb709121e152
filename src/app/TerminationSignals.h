// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace kestrova {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in a terminal) into an orderly close of
// every window on the event thread, so the serial port is released as on File, Exit.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Whether the program is being ended by a signal or by the end of the desktop session: then
    // nothing may wait for the user.
    static bool terminating();

private:
    void closeAllWindows();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace kestrova
