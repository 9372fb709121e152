// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/TickSchedule.h"
#include "app/TickSource.h"

#include <cstdint>
#include <optional>

class QSocketNotifier;
class QTimer;

namespace kestrova {

// Nanoseconds on the monotonic clock (CLOCK_MONOTONIC), the clock every tick is scheduled on.
std::int64_t monotonicNanoseconds();

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
    ~ScheduledTimer() override;

    // Changing the interval of an enabled timer restarts its schedule from now.
    void setInterval(int milliseconds) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }

    Waker waker() const { return waker_; }

private:
    void restartSchedule();
    void arm();
    void disarm();
    void wake();

    Waker waker_;
    int kernelTimer_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* eventLoopTimer_ = nullptr;
    int interval_ = 0;
    bool enabled_ = false;
    bool delivering_ = false;
    std::optional<TickSchedule> schedule_;
    std::int64_t nextTick_ = 1;
};

} // namespace kestrova
