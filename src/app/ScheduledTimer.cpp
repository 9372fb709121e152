// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ScheduledTimer.h"

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

// How far short of the deadline the event-loop waker is armed; the rest is slept through, which
// blocks the event thread for at most this long once a second.
constexpr std::int64_t FinishWindow = 2 * NanosecondsPerMillisecond;

timespec toTimespec(std::int64_t nanoseconds)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(nanoseconds / NanosecondsPerSecond);
    ts.tv_nsec = static_cast<long>(nanoseconds % NanosecondsPerSecond);
    return ts;
}

void sleepUntil(std::int64_t deadline)
{
    const timespec until = toTimespec(deadline);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

} // namespace

std::int64_t monotonicNanoseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * NanosecondsPerSecond + ts.tv_nsec;
}

ScheduledTimer::ScheduledTimer(QObject* parent) : ScheduledTimer(Waker::KernelTimer, parent) {}

ScheduledTimer::ScheduledTimer(Waker waker, QObject* parent) : TickSource(parent), waker_(waker)
{
    if (waker_ == Waker::KernelTimer) {
        kernelTimer_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (kernelTimer_ < 0)
            waker_ = Waker::EventLoopTimer;
    }
    if (waker_ == Waker::KernelTimer) {
        notifier_ = new QSocketNotifier(kernelTimer_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &ScheduledTimer::wake);
    } else {
        eventLoopTimer_ = new QTimer(this);
        eventLoopTimer_->setSingleShot(true);
        eventLoopTimer_->setTimerType(Qt::PreciseTimer);
        connect(eventLoopTimer_, &QTimer::timeout, this, &ScheduledTimer::wake);
    }
}

ScheduledTimer::~ScheduledTimer()
{
    if (kernelTimer_ >= 0) {
        delete notifier_; // the notifier must let go of the descriptor before it is closed
        close(kernelTimer_);
    }
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
        disarm();
}

void ScheduledTimer::restartSchedule()
{
    schedule_.reset();
    if (interval_ > 0)
        schedule_.emplace(monotonicNanoseconds(), interval_ * NanosecondsPerMillisecond);
    nextTick_ = 1;
    arm();
}

void ScheduledTimer::arm()
{
    if (!enabled_ || !schedule_) {
        disarm();
        return;
    }
    const std::int64_t due = schedule_->deadline(nextTick_);
    if (kernelTimer_ >= 0) {
        itimerspec setting{};
        setting.it_value = toTimespec(due);
        timerfd_settime(kernelTimer_, TFD_TIMER_ABSTIME, &setting, nullptr);
    } else {
        const std::int64_t early = due - FinishWindow - monotonicNanoseconds();
        eventLoopTimer_->start(int(std::max<std::int64_t>(0, early / NanosecondsPerMillisecond)));
    }
}

void ScheduledTimer::disarm()
{
    if (kernelTimer_ >= 0) {
        const itimerspec off{};
        timerfd_settime(kernelTimer_, 0, &off, nullptr);
    } else {
        eventLoopTimer_->stop();
    }
}

void ScheduledTimer::wake()
{
    if (kernelTimer_ >= 0) {
        std::uint64_t expirations = 0;
        [[maybe_unused]] const ssize_t got = read(kernelTimer_, &expirations, sizeof expirations);
    }
    if (!enabled_ || !schedule_)
        return;
    std::int64_t now = monotonicNanoseconds();
    const std::int64_t due = schedule_->deadline(nextTick_);
    if (now < due) {
        if (kernelTimer_ >= 0 || due - now > FinishWindow) {
            arm();
            return;
        }
        sleepUntil(due);
        now = monotonicNanoseconds();
    }
    nextTick_ = schedule_->firstTickAfter(now);
    arm();
    if (delivering_)
        return;
    const QScopedValueRollback<bool> delivering(delivering_, true);
    emit timeout();
}

} // namespace kestrova
