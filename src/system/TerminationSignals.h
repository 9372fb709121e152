// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace kestrova {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C, a terminal gone) into received() on the
// event thread, where the program can end in order: its handler may do anything a slot may.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signal);

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace kestrova
