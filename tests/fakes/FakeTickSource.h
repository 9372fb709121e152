// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/TickSource.h"

namespace kestrova::test {

// A tick source the test advances by hand.
class FakeTickSource : public TickSource {
public:
    void setInterval(int milliseconds) override { interval_ = milliseconds; }
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }

    // Delivers one tick; false, and no tick, while disabled.
    bool fire()
    {
        const bool enabled = enabled_;
        if (enabled)
            emit timeout();
        return enabled;
    }

private:
    int interval_ = 0;
    bool enabled_ = false;
};

} // namespace kestrova::test
