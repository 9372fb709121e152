// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/ScheduledTimer.h"

#include <QScopedValueRollback>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace kestrova {

namespace {

constexpr std::int64_t NanosecondsPerMillisecond = 1'000'000;
constexpr std::int64_t NanosecondsPerSecond = 1'000'000'000;

timespec toTimespec(std::int64_t nanoseconds)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(nanoseconds / NanosecondsPerSecond);
    ts.tv_nsec = static_cast<long>(nanoseconds % NanosecondsPerSecond);
    return ts;
}

// A kernel timer on an absolute deadline, read when the event loop sees it expire.
class KernelTimerClock : public TickClock {
public:
    KernelTimerClock(int descriptor, QObject* parent)
        : TickClock(parent), descriptor_(descriptor),
          notifier_(new QSocketNotifier(descriptor, QSocketNotifier::Read, this))
    {
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            std::uint64_t expirations = 0;
            [[maybe_unused]] const ssize_t got =
                read(descriptor_, &expirations, sizeof expirations);
            emit woken();
        });
    }
    ~KernelTimerClock() override
    {
        delete notifier_; // the notifier must let go of the descriptor before it is closed
        close(descriptor_);
    }

    void wakeAt(std::int64_t deadline) override
    {
        itimerspec setting{};
        setting.it_value = toTimespec(deadline);
        timerfd_settime(descriptor_, TFD_TIMER_ABSTIME, &setting, nullptr);
    }
    void cancelWake() override
    {
        const itimerspec off{};
        timerfd_settime(descriptor_, 0, &off, nullptr);
    }
    std::int64_t finishWindow() const override { return 0; }

private:
    int descriptor_;
    QSocketNotifier* notifier_;
};

// A precise Qt timer armed a little short of the deadline; the timer sleeps through the rest,
// which blocks the event thread for at most the window once a tick.
class EventLoopClock : public TickClock {
public:
    explicit EventLoopClock(QObject* parent) : TickClock(parent), timer_(new QTimer(this))
    {
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, &TickClock::woken);
    }

    void wakeAt(std::int64_t deadline) override
    {
        const std::int64_t early = deadline - Window - now();
        timer_->start(int(std::max<std::int64_t>(0, early / NanosecondsPerMillisecond)));
    }
    void cancelWake() override { timer_->stop(); }
    std::int64_t finishWindow() const override { return Window; }

private:
    static constexpr std::int64_t Window = 2 * NanosecondsPerMillisecond;
    QTimer* timer_;
};

TickClock* makeClock(ScheduledTimer::Waker waker)
{
    if (waker == ScheduledTimer::Waker::KernelTimer) {
        const int descriptor = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (descriptor >= 0)
            return new KernelTimerClock(descriptor, nullptr);
    }
    return new EventLoopClock(nullptr);
}

} // namespace

std::int64_t monotonicNanoseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * NanosecondsPerSecond + ts.tv_nsec;
}

void TickClock::sleepUntil(std::int64_t deadline)
{
    const timespec until = toTimespec(deadline);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

ScheduledTimer::ScheduledTimer(QObject* parent) : ScheduledTimer(Waker::KernelTimer, parent) {}

ScheduledTimer::ScheduledTimer(Waker waker, QObject* parent)
    : ScheduledTimer(makeClock(waker), parent)
{
}

ScheduledTimer::ScheduledTimer(TickClock* clock, QObject* parent)
    : TickSource(parent), clock_(clock)
{
    clock_->setParent(this);
    connect(clock_, &TickClock::woken, this, &ScheduledTimer::wake);
}

void ScheduledTimer::setInterval(int milliseconds)
{
    interval_ = milliseconds;
    if (enabled_)
        restartSchedule();
}

void ScheduledTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled_)
        restartSchedule();
    else
        clock_->cancelWake();
}

void ScheduledTimer::restartSchedule()
{
    schedule_.reset();
    if (interval_ > 0)
        schedule_.emplace(clock_->now(), interval_ * NanosecondsPerMillisecond);
    nextTick_ = 1;
    arm();
}

void ScheduledTimer::arm()
{
    if (enabled_ && schedule_)
        clock_->wakeAt(schedule_->deadline(nextTick_));
    else
        clock_->cancelWake();
}

void ScheduledTimer::wake()
{
    if (!enabled_ || !schedule_)
        return;
    std::int64_t now = clock_->now();
    const std::int64_t due = schedule_->deadline(nextTick_);
    if (now < due) {
        if (due - now > clock_->finishWindow()) {
            arm();
            return;
        }
        clock_->sleepUntil(due);
        now = clock_->now();
    }
    nextTick_ = schedule_->firstTickAfter(now);
    arm();
    if (delivering_)
        return;
    const QScopedValueRollback<bool> delivering(delivering_, true);
    emit timeout();
}

} // namespace kestrova
