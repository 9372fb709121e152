// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrova {

// frmAbout: the program's about box. It has no owner window, so it stays open after the main
// window has closed and keeps the program running until it is closed itself.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    AboutDialog();

    // Shows the single instance, creating and loading it when it is not loaded and bringing it
    // to the front when it is.
    static void showInstance();
    // The loaded instance, or nullptr.
    static AboutDialog* instance();

    // Starts the system information tool, or says that none is available.
    void StartSysInfo();

private:
    void createControls();
    void load();

    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdSysInfo_ = nullptr;
    QLabel* lblTitle_ = nullptr;
    QLabel* lblVersion_ = nullptr;
};

} // namespace kestrova
