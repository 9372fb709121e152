// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/TickSchedule.h"
#include "control/TickSource.h"

#include <cstdint>
#include <optional>

namespace kestrova {

// Nanoseconds on the monotonic clock (CLOCK_MONOTONIC), the clock every tick is scheduled on.
std::int64_t monotonicNanoseconds();

// What a ScheduledTimer needs of time: the monotonic clock, a wake-up at a deadline, and a sleep
// through the last moments before one when the wake-up cannot come exactly on time.
class TickClock : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual std::int64_t now() const { return monotonicNanoseconds(); }
    virtual void sleepUntil(std::int64_t deadline);
    // Emits woken() once, at the deadline or up to finishWindow() before it; a later call
    // replaces the earlier wake-up.
    virtual void wakeAt(std::int64_t deadline) = 0;
    virtual void cancelWake() = 0;
    // How early woken() may come.
    virtual std::int64_t finishWindow() const = 0;

signals:
    void woken();
};

// The real tmrMain. Tick k after it is enabled is delivered at enable + k * interval on the
// monotonic clock: each wake-up is armed against that schedule, never from the previous tick, so
// a night of exposures gathers no drift.
//
// A tick that comes late (the event thread was busy, or the machine stalled) is delivered once,
// as soon as the thread is free; ticks whose slots passed during the stall are dropped rather
// than delivered in a burst, and the following tick keeps to its slot on the original schedule.
// A tick that falls due while a handler of the previous one is still running (inside a message
// box) is dropped the same way.
class ScheduledTimer : public TickSource {
    Q_OBJECT
public:
    enum class Waker {
        // A kernel timer on an absolute deadline, watched by the event loop: exact to the
        // kernel's timer slack without blocking the thread.
        KernelTimer,
        // A precise Qt timer armed just short of the deadline and a sleep to the exact
        // deadline; used when no kernel timer can be had.
        EventLoopTimer,
    };

    explicit ScheduledTimer(QObject* parent = nullptr);
    explicit ScheduledTimer(Waker waker, QObject* parent = nullptr);
    // Keeps to the given clock, which it takes over.
    explicit ScheduledTimer(TickClock* clock, QObject* parent = nullptr);

    // Changing the interval of an enabled timer restarts its schedule from now.
    void setInterval(int milliseconds) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }

private:
    void restartSchedule();
    void arm();
    void wake();

    TickClock* clock_;
    int interval_ = 0;
    bool enabled_ = false;
    bool delivering_ = false;
    std::optional<TickSchedule> schedule_;
    std::int64_t nextTick_ = 1;
};

} // namespace kestrova
