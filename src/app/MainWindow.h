// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Sequencer.h"
#include "app/SequencerPanel.h"
#include "config/ActiveConfiguration.h"
#include "config/ComPorts.h"
#include "config/SettingsStore.h"
#include "shutter/ShutterLine.h"
#include "ui/MessageBox.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrova {

class DesktopSession;
class OptionsDialog;
class TickSource;

// frmMain: the program's window. It owns the run-time state, drives the camera line through
// ShutterLine and reaches the other windows through its menus.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The store and the two ports must outlive the window. The window takes the sequencer's
    // timer when one is given (tests drive a fake one) and makes the real one otherwise. With
    // serialPorts, which must outlive the window too, it looks for serial adapters and gives
    // them Com numbers at start-up, when the options dialog is shown and when a Com port
    // cannot be opened.
    MainWindow(SettingsStore& store, ParallelPort& parallel, SerialLine& serial,
               QWidget* parent = nullptr, TickSource* tmrMain = nullptr,
               const SerialPortEnumerator* serialPorts = nullptr);
    ~MainWindow() override;

    // Rebuilds the active configuration from the store; opens the serial port when the serial
    // interface is selected. Called by the Interface menu and the options dialog.
    void SetDefaults();

    const ShutterLine& shutterLine() const { return line_; }

    // Tells the session of every sequence and of the shutter held open by hand, from now on.
    // The session must outlive the window.
    void setDesktopSession(DesktopSession* session);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Every user action shows at most one message, however many things fail inside it. Stored
    // values taken as their defaults are told at the end of the action, if nothing else was.
    class ActionScope {
    public:
        explicit ActionScope(MainWindow& window);
        ~ActionScope();

    private:
        MainWindow& window_;
    };

    void createControls();
    void createMenus();
    void createSequencer(TickSource* tmrMain);
    void load();
    void unload();
    void applyConfiguration();
    ui::Question leaveQuestion() const;

    // Both report a line failure to the user and return false.
    bool OpenShutter();
    bool CloseShutter();
    void OpenSerialPort();
    void report(const QString& text, const QString& detail);
    void reportSaveFailure(const QString& whatWasNotSaved = {});
    // Stored values that were taken as their defaults, told at the end of the action.
    void noteUnreadable(const QStringList& keys);
    ComPortTable lookForSerialPorts();

    void connectClicked();
    void selectInterface(bool serial);
    void showOptions();
    void showAbout();

    SettingsStore& store_;
    SerialLine& serial_;
    const SerialPortEnumerator* serialPorts_ = nullptr;
    ShutterLine line_;
    QPointer<OptionsDialog> options_;
    TickSource* tmrMain_ = nullptr;
    std::unique_ptr<SequencerPanel> sequencerPanel_;
    std::unique_ptr<Sequencer> sequencer_;
    DesktopSession* desktop_ = nullptr;
    int actionDepth_ = 0;
    bool messageShown_ = false;
    bool unloaded_ = false;
    bool deferMessages_ = false;
    std::optional<ui::Message> startupMessage_;
    QStringList unreadableSettings_; // "Section/Key" of stored values taken as their defaults,
                                     // not yet told in this action

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
