// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace kestrova {

// The sequencer's one-second timer, tmrMain: while enabled it emits timeout() once per interval.
// Whoever owns the sequencer delivers each timeout to it; tests drive a fake by hand.
class TickSource : public QObject {
    Q_OBJECT
    Q_PROPERTY(int interval READ interval WRITE setInterval)
    Q_PROPERTY(bool enabled READ isEnabled WRITE setEnabled)
public:
    using QObject::QObject;

    // Milliseconds between ticks; 0 or less delivers no tick even while enabled.
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

signals:
    void timeout();
};

} // namespace kestrova
