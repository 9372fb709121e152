#pragma once

#include "app/Sequencer.h"
#include "app/TickSource.h"

#include <QList>

namespace kestrova::test {

// A tick source the test advances by hand: fire() delivers one tick while enabled.
class FakeTickSource : public TickSource {
public:
    void setInterval(int milliseconds) override { interval_ = milliseconds; }
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }

    // False, and no tick, while disabled.
    bool fire()
    {
        if (!enabled_)
            return false;
        emit timeout();
        return true;
    }

private:
    int interval_ = 0;
    bool enabled_ = false;
};

// The main window's controls as plain text and flag holders, starting as the window creates
// them; every message is recorded with whether the timer was still running when it was shown.
class FakeSequencerControls : public SequencerControls {
public:
    struct Shown {
        QString text;
        QString detail;
        bool timerEnabled;
    };

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
        messages.append({text, detail, ticks_.isEnabled()});
    }

    QString txtNumExposures;
    QString txtLXTime;
    QString txtDelay;
    QString lblTotalTime = QStringLiteral("00:00:00");
    QString lblExposureTime = QStringLiteral("0");
    QString lblExposures = QStringLiteral("0");
    bool cmdStart = true;
    bool cmdCancel = false;
    bool cmdConnect = true;
    QList<Shown> messages;

private:
    const TickSource& ticks_;
};

} // namespace kestrova::test
