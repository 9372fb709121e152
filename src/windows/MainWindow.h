// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/Controller.h"
#include "ui/MessageBox.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrova {

class OptionsDialog;

// frmMain: the program's window, a view of the controller. It passes the user's actions to the
// controller, shows its read-outs, buttons, check marks and messages, and reaches the other
// windows through its menus.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The controller and the store must outlive the window. Loads the controller: what fails at
    // start-up is told once the window is on screen.
    MainWindow(Controller& controller, SettingsStore& store, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The program is being ended by the end of the desktop session: the window closes without
    // asking.
    void closeWithoutAsking();
    // The program is told to end (a termination signal): every window closes, this one without
    // asking, and the event loop ends, even inside a message box.
    void terminate();

    // The manual button's caption for the shutter's state.
    static QString connectCaption(bool shutterOpen);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createMenus();
    void connectController();
    void showMessage(const Failure& message);
    ui::Question leaveQuestion() const;
    void unload();
    void showOptions();

    Controller& controller_;
    SettingsStore& store_;
    QPointer<OptionsDialog> options_;
    bool loading_ = true;
    bool askBeforeLeaving_ = true;
    bool unloaded_ = false;
    QList<Failure> startupMessages_;

    QLineEdit* txtNumExposures_ = nullptr;
    QLineEdit* txtLXTime_ = nullptr;
    QLineEdit* txtDelay_ = nullptr;
    QPushButton* cmdStart_ = nullptr;
    QPushButton* cmdConnect_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QLabel* lblExposures_ = nullptr;
    QLabel* lblExposureTime_ = nullptr;
    QLabel* lblTotalTime_ = nullptr;
    QAction* mnuParallel_ = nullptr;
    QAction* mnuSerial_ = nullptr;
};

} // namespace kestrova
