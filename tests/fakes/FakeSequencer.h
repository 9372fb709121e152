// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Sequencer.h"
#include "app/TickSource.h"

#include <QStringList>

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

// The main window's controls as plain text and flag holders, starting as the window creates
// them. Each message is kept as "text\ndetail", marked when the timer was still running.
class FakeSequencerControls : public SequencerControls {
public:
    explicit FakeSequencerControls(const TickSource& ticks) : ticks_(ticks) {}

    QString numExposuresText() const override { return txtNumExposures; }
    QString exposureTimeText() const override { return txtLXTime; }
    QString delayText() const override { return txtDelay; }
    void setTotalTimeCaption(const QString& caption) override { lblTotalTime = caption; }
    void setExposureTimeCaption(const QString& caption) override { lblExposureTime = caption; }
    void setExposuresCaption(const QString& caption) override { lblExposures = caption; }
    void setStartEnabled(bool enabled) override { cmdStart = enabled; }
    void setCancelEnabled(bool enabled) override { cmdCancel = enabled; }
    void setConnectEnabled(bool enabled) override { cmdConnect = enabled; }
    void showMessage(const QString& text, const QString& detail) override
    {
        messages << (ticks_.isEnabled() ? "[timer running] " : "") + text + '\n' + detail;
    }

    QString txtNumExposures, txtLXTime, txtDelay;
    QString lblTotalTime = "00:00:00", lblExposureTime = "0", lblExposures = "0";
    bool cmdStart = true, cmdCancel = false, cmdConnect = true;
    QStringList messages;

private:
    const TickSource& ticks_;
};

} // namespace kestrova::test
