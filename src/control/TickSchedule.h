// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kestrova {

// Where the ticks of a running timer fall: tick k at origin + k * interval on the monotonic clock,
// whenever the previous ones were delivered, so that lateness never accumulates.
// Times are nanoseconds; the interval is positive.
class TickSchedule {
public:
    TickSchedule(std::int64_t origin, std::int64_t interval) : origin_(origin), interval_(interval)
    {
    }

    std::int64_t origin() const { return origin_; }
    std::int64_t interval() const { return interval_; }

    // The deadline of tick k (k >= 1).
    std::int64_t deadline(std::int64_t k) const { return origin_ + k * interval_; }

    // The first tick whose deadline lies after now. A tick delivered at now, however late, is
    // followed by this one: slots that passed during a stall are not made up in a burst.
    std::int64_t firstTickAfter(std::int64_t now) const
    {
        if (now < origin_)
            return 1;
        return (now - origin_) / interval_ + 1;
    }

private:
    std::int64_t origin_;
    std::int64_t interval_;
};

} // namespace kestrova
