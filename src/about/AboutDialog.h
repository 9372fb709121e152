// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "about/SysInfo.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrova {

// frmAbout: the program's about box. It has no owner window, so it stays open after the main
// window has closed and keeps the program running until it is closed itself.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // The platform must outlive the dialog.
    explicit AboutDialog(const about::SysInfoPlatform& platform);

    // Shows the single instance on this machine's platform, creating and loading it when it is
    // not loaded and bringing it to the front when it is.
    static void showInstance();
    // The loaded instance, or nullptr.
    static AboutDialog* instance();

    void StartSysInfo();

private:
    void createControls();
    void load();

    about::SysInfoPlatform platform_;
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdSysInfo_ = nullptr;
    QLabel* lblTitle_ = nullptr;
    QLabel* lblVersion_ = nullptr;
};

} // namespace kestrova
