// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Sequencer.h"
#include "shutter/ShutterLine.h"

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrova {

// The main window's controls that the sequencer reads and writes.
class SequencerPanel : public SequencerControls {
public:
    struct Widgets {
        QLineEdit* txtNumExposures;
        QLineEdit* txtLXTime;
        QLineEdit* txtDelay;
        QLabel* lblTotalTime;
        QLabel* lblExposureTime;
        QLabel* lblExposures;
        QPushButton* cmdStart;
        QPushButton* cmdCancel;
        QPushButton* cmdConnect;
    };
    using Reporter = std::function<void(const QString& text, const QString& detail)>;

    // line must outlive the panel: cmdConnect, enabled again, says what it will do.
    SequencerPanel(const Widgets& widgets, const ShutterLine& line, Reporter report);

    // The manual button's caption for the shutter's state.
    static QString connectCaption(bool shutterOpen);

    QString numExposuresText() const override;
    QString exposureTimeText() const override;
    QString delayText() const override;
    void setTotalTimeCaption(const QString& caption) override;
    void setExposureTimeCaption(const QString& caption) override;
    void setExposuresCaption(const QString& caption) override;
    void setStartEnabled(bool enabled) override;
    void setCancelEnabled(bool enabled) override;
    void setConnectEnabled(bool enabled) override;
    void showMessage(const QString& text, const QString& detail) override;

private:
    Widgets widgets_;
    const ShutterLine& line_;
    Reporter report_;
};

} // namespace kestrova
