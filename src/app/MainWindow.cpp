// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "about/AboutDialog.h"
#include "app/DesktopSession.h"
#include "app/Messages.h"
#include "app/ScheduledTimer.h"
#include "app/TerminationSignals.h"
#include "config/OptionsDialog.h"
#include "ui/AppIcon.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <utility>

namespace kestrova {

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
              bool large)
{
    auto* lbl = ui::wrappedLabel(parent, name, text, geometry);
    lbl->setAutoFillBackground(true);
    if (large)
        lbl->setFont(ui::largeFont());
    return lbl;
}

} // namespace

MainWindow::ActionScope::ActionScope(MainWindow& window) : window_(window)
{
    if (window_.actionDepth_++ == 0)
        window_.messageShown_ = false;
}

MainWindow::ActionScope::~ActionScope()
{
    if (--window_.actionDepth_ == 0 && !window_.unreadableSettings_.isEmpty())
        window_.report(
            QString::fromLatin1(messages::SettingsUnreadable),
            messages::unreadableSettings(std::exchange(window_.unreadableSettings_, {})));
}

MainWindow::MainWindow(SettingsStore& store, ParallelPort& parallel, SerialLine& serial,
                       QWidget* parent, TickSource* tmrMain,
                       const SerialPortEnumerator* serialPorts)
    : QMainWindow(parent), store_(store), serial_(serial), serialPorts_(serialPorts),
      line_(parallel, serial)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestrova"));
    setWindowIcon(ui::appIcon());
    setFont(ui::dialogFont());
    setAttribute(Qt::WA_DeleteOnClose);
    createControls();
    createMenus();
    createSequencer(tmrMain);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    load();
}

MainWindow::~MainWindow()
{
    unload();
}

void MainWindow::createControls()
{
    using ui::twipsRect;
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(ui::twipsToPixels(4590), ui::twipsToPixels(4830));
    setCentralWidget(client);

    txtNumExposures_ =
        ui::place<QLineEdit>(client, "txtNumExposures", {}, twipsRect(2400, 120, 855, 375));
    txtLXTime_ = ui::place<QLineEdit>(client, "txtLXTime", {}, twipsRect(2400, 720, 855, 375));
    txtDelay_ = ui::place<QLineEdit>(client, "txtDelay", {}, twipsRect(2400, 1320, 855, 375));
    label(client, "Label1", QStringLiteral("Number of Exposures"), twipsRect(960, 120, 1215, 495),
          false);
    label(client, "Label2", QStringLiteral("Exposure Time"), twipsRect(960, 720, 1215, 495), false);
    label(client, "Label3", QStringLiteral("Delay Between Exposures"),
          twipsRect(960, 1320, 1215, 495), false);
    cmdStart_ = ui::place<QPushButton>(client, "cmdStart", QStringLiteral("Start"),
                                       twipsRect(1680, 2040, 1215, 615));
    cmdConnect_ =
        ui::place<QPushButton>(client, "cmdConnect", SequencerPanel::connectCaption(false),
                               twipsRect(120, 2040, 1215, 615));
    label(client, "Label4", QStringLiteral("Exposures:"), twipsRect(1080, 2880, 1575, 375), true);
    lblExposures_ =
        label(client, "lblExposures", QStringLiteral("0"), twipsRect(2880, 2880, 615, 375), true);
    label(client, "Label5", QStringLiteral("Current Exposure Time:"),
          twipsRect(360, 3360, 3135, 375), true);
    lblExposureTime_ = label(client, "lblExposureTime", QStringLiteral("0"),
                             twipsRect(3600, 3360, 855, 375), true);
    cmdCancel_ = ui::place<QPushButton>(client, "cmdCancel", QStringLiteral("Cancel"),
                                        twipsRect(3240, 2040, 1215, 615));
    cmdCancel_->setEnabled(false);
    label(client, "Label6", QStringLiteral("Total Time:"), twipsRect(720, 4200, 1695, 375), true);
    lblTotalTime_ = label(client, "lblTotalTime", QStringLiteral("00:00:00"),
                          twipsRect(2400, 4200, 1575, 375), true);

    // Text fields top to bottom, then Start, Open Shutter, Cancel.
    setTabOrder(txtNumExposures_, txtLXTime_);
    setTabOrder(txtLXTime_, txtDelay_);
    setTabOrder(txtDelay_, cmdStart_);
    setTabOrder(cmdStart_, cmdConnect_);
    setTabOrder(cmdConnect_, cmdCancel_);

    connect(cmdConnect_, &QPushButton::clicked, this, &MainWindow::connectClicked);
}

void MainWindow::createMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    bar->setNativeMenuBar(false);

    QMenu* file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QAction* exit = file->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("mnuExit"));
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* interface = bar->addMenu(QStringLiteral("Interface"));
    interface->setObjectName(QStringLiteral("mnuInterface"));
    mnuParallel_ = interface->addAction(QStringLiteral("Parallel"));
    mnuParallel_->setObjectName(QStringLiteral("mnuParallel"));
    mnuParallel_->setCheckable(true);
    mnuParallel_->setChecked(true);
    mnuSerial_ = interface->addAction(QStringLiteral("Serial"));
    mnuSerial_->setObjectName(QStringLiteral("mnuSerial"));
    mnuSerial_->setCheckable(true);
    // The check marks follow the store alone: a click must not toggle them by itself.
    connect(mnuParallel_, &QAction::triggered, this, [this] { selectInterface(false); });
    connect(mnuSerial_, &QAction::triggered, this, [this] { selectInterface(true); });

    QAction* options = bar->addAction(QStringLiteral("Options..."));
    options->setObjectName(QStringLiteral("mnuOptions"));
    connect(options, &QAction::triggered, this, &MainWindow::showOptions);

    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    QAction* about = help->addAction(QStringLiteral("About..."));
    about->setObjectName(QStringLiteral("mnuAbout"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::createSequencer(TickSource* tmrMain)
{
    tmrMain_ = tmrMain ? tmrMain : new ScheduledTimer;
    tmrMain_->setParent(this);
    tmrMain_->setObjectName(QStringLiteral("tmrMain"));
    sequencerPanel_ = std::make_unique<SequencerPanel>(
        SequencerPanel::Widgets{txtNumExposures_, txtLXTime_, txtDelay_, lblTotalTime_,
                                lblExposureTime_, lblExposures_, cmdStart_, cmdCancel_,
                                cmdConnect_},
        line_, [this](const QString& text, const QString& detail) { report(text, detail); });
    sequencer_ = std::make_unique<Sequencer>(*sequencerPanel_, line_, *tmrMain_);

    const auto action = [this](void (Sequencer::*handler)()) {
        return [this, handler] {
            ActionScope scope(*this);
            ((*sequencer_).*handler)();
        };
    };
    connect(cmdStart_, &QPushButton::clicked, this, action(&Sequencer::Start));
    connect(cmdCancel_, &QPushButton::clicked, this, action(&Sequencer::Cancel));
    // A tick can arrive while another action waits in its message box; it is an action of its
    // own, and a sequence it ends must still be reported.
    connect(tmrMain_, &TickSource::timeout, this, [this] {
        const QScopedValueRollback<int> depth(actionDepth_, 0);
        const QScopedValueRollback<bool> shown(messageShown_, false);
        ActionScope scope(*this);
        sequencer_->Tick();
    });
}

void MainWindow::setDesktopSession(DesktopSession* session)
{
    desktop_ = session;
    sequencer_->setObserver(session);
}

void MainWindow::load()
{
    // A failure at start-up is told once the window is on screen, so the user sees what the
    // message is about.
    deferMessages_ = true;
    {
        ActionScope scope(*this);
        // An adapter plugged in for the first time gets its Com number before any port is opened.
        if (serialPorts_)
            lookForSerialPorts();
        SetDefaults();
        CloseShutter();
    }
    deferMessages_ = false;
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (startupMessage_)
        QTimer::singleShot(0, this, [this] {
            if (const auto message = std::exchange(startupMessage_, std::nullopt))
                ui::showMessage(message->text, message->informativeText);
        });
}

void MainWindow::unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    // Nothing would ever end a running exposure: the sequence ends as Cancel ends it, with the
    // line closed. A shutter opened by hand stays as it is, unless it was opened through a line
    // no longer configured, which nothing would close again.
    if (sequencer_->running()) {
        ActionScope scope(*this);
        sequencer_->Cancel();
    } else if (line_.shutterOpen()) {
        ActionScope scope(*this);
        try {
            line_.closeLinesNotConfigured();
        } catch (const LineFailure& failure) {
            report(failure.text(), failure.detail());
        }
    }
    tmrMain_->setEnabled(false);
    delete options_;
    // Otherwise the line is not driven at shut-down; releasing the port is all.
    if (serial_.isOpen())
        serial_.close();
    if (desktop_)
        desktop_->windowClosed();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Ctrl+X, which a user may press meaning Cut, and the close box ask first while the camera
    // is working; a logout or a termination signal does not wait for an answer.
    if (!unloaded_ && !TerminationSignals::terminating() &&
        (sequencer_->running() || line_.shutterOpen()) && !ui::ask(leaveQuestion()) &&
        !unloaded_) // closed meanwhile by a signal
    {
        event->ignore();
        return;
    }
    unload();
    event->accept();
}

ui::Question MainWindow::leaveQuestion() const
{
    const ShutterConfig& line = line_.config();
    ui::Question question{QString(), QString(), QStringLiteral("Close Kestrova"),
                          QStringLiteral("Keep Running")};
    if (sequencer_->running()) {
        question.text = QStringLiteral("A sequence is running.");
        question.informativeText = QString::fromLatin1(messages::LeavingCancelsSequence);
    } else {
        question.text = QStringLiteral("The shutter is open.");
        // Releasing a serial port drops its lines, which closes a shutter wired to open on a set
        // line; otherwise the line keeps its level.
        question.informativeText =
            QString::fromLatin1(line_.heldByLineNotConfigured() ? messages::LeavingClosesOldLine
                                : line.Use == Interface::Serial && line.ActiveLogic
                                    ? messages::LeavingReleasesShutter
                                    : messages::LeavingKeepsShutterOpen);
    }
    return question;
}

void MainWindow::SetDefaults()
{
    ActionScope scope(*this);
    const LoadedConfiguration loaded = loadActiveConfiguration(store_, line_.config());
    mnuParallel_->setChecked(loaded.parallelChecked);
    mnuSerial_->setChecked(loaded.serialChecked);
    line_.configure(loaded.config);
    // While a sequence runs, a port already open on the configured Com number is kept: a reopen
    // raises both lines for a moment, which with Active Logic checked is the open level.
    if (loaded.serialChecked &&
        !(sequencer_->running() && line_.serialPortOpenOn(loaded.config.CommPortNumber)))
        OpenSerialPort();
    noteUnreadable(loaded.fallbacks);
}

void MainWindow::noteUnreadable(const QStringList& keys)
{
    for (const QString& key : keys)
        if (!unreadableSettings_.contains(key))
            unreadableSettings_ << key;
}

// A configuration change while the shutter is closed and no sequence runs puts the newly
// configured line at its closed level at once, instead of leaving it wherever it was.
void MainWindow::applyConfiguration()
{
    SetDefaults();
    if (!sequencer_->running() && !line_.shutterOpen())
        CloseShutter();
}

bool MainWindow::OpenShutter()
{
    try {
        line_.openShutter();
        return true;
    } catch (const LineFailure& failure) {
        report(failure.text(), failure.detail());
        return false;
    }
}

bool MainWindow::CloseShutter()
{
    try {
        line_.closeShutter();
        return true;
    } catch (const LineFailure& failure) {
        report(failure.text(), failure.detail());
        return false;
    }
}

void MainWindow::OpenSerialPort()
{
    if (const auto failure = line_.openSerialPort())
        report(failure->text(), failure->detail());
}

void MainWindow::report(const QString& text, const QString& detail)
{
    if (messageShown_)
        return;
    messageShown_ = true;
    QString informative = detail;
    // The user sees at once which Com number to choose instead.
    if (serialPorts_ && text == QLatin1String(messages::ComPortNotAvailable))
        informative += QStringLiteral("\n\n") +
                       presentPortsText(kestrova::lookForSerialPorts(store_, *serialPorts_));
    if (deferMessages_)
        startupMessage_ = ui::Message{text, informative};
    else
        ui::showMessage(text, informative);
}

void MainWindow::reportSaveFailure(const QString& whatWasNotSaved)
{
    report(QString::fromLatin1(messages::SettingsNotSaved),
           whatWasNotSaved.isEmpty() ? store_.failureText()
                                     : whatWasNotSaved + QLatin1Char(' ') + store_.failureText());
}

ComPortTable MainWindow::lookForSerialPorts()
{
    ComPortTable table = kestrova::lookForSerialPorts(store_, *serialPorts_);
    if (!table.saved)
        reportSaveFailure();
    return table;
}

void MainWindow::connectClicked()
{
    ActionScope scope(*this);
    // A line that failed did not move: the caption keeps saying what the button will do.
    if (line_.shutterOpen())
        CloseShutter();
    else
        OpenShutter();
    cmdConnect_->setText(SequencerPanel::connectCaption(line_.shutterOpen()));
    if (desktop_)
        desktop_->setShutterOpenByHand(line_.shutterOpen());
}

void MainWindow::selectInterface(bool serial)
{
    ActionScope scope(*this);
    if (!saveInterfaceChoice(store_, serial))
        reportSaveFailure(messages::interfaceChoiceNotSaved(serial ? QStringLiteral("Serial")
                                                                   : QStringLiteral("Parallel")));
    applyConfiguration();
}

void MainWindow::showOptions()
{
    const bool created = !options_;
    if (created)
        options_ = new OptionsDialog(store_, [this](bool saved) {
            ActionScope scope(*this);
            if (!saved)
                reportSaveFailure();
            // The program may have been told to close while the message was up.
            if (!unloaded_)
                applyConfiguration();
        });
    if (serialPorts_) {
        ActionScope scope(*this);
        QStringList toolTips;
        for (const ComPort& com : lookForSerialPorts().coms)
            toolTips << comToolTip(com);
        if (!options_ || unloaded_) // closed while a message about the store was up
            return;
        options_->setComPortToolTips(toolTips);
    }
    if (created) {
        // What the dialog cannot show as it is in force is told, as at start-up.
        ActionScope scope(*this);
        noteUnreadable(options_->keysNotShown());
    }
    options_->show();
    options_->raise();
    options_->activateWindow();
}

void MainWindow::showAbout()
{
    AboutDialog::showInstance();
}

} // namespace kestrova
