#include "app/MainWindow.h"

#include "about/AboutDialog.h"
#include "app/DesktopSession.h"
#include "app/ScheduledTimer.h"
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
    --window_.actionDepth_;
}

MainWindow::MainWindow(SettingsStore& store, ParallelPort& parallel, SerialLine& serial,
                       QWidget* parent, TickSource* tmrMain)
    : QMainWindow(parent), store_(store), serial_(serial), line_(parallel, serial)
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
    cmdConnect_ = ui::place<QPushButton>(client, "cmdConnect", QStringLiteral("Open Shutter"),
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
        [this](const QString& text, const QString& detail) { report(text, detail); });
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
    ActionScope scope(*this);
    SetDefaults();
    CloseShutter();
    if (!unreadableSettings_.isEmpty())
        report(QStringLiteral("Some stored settings could not be read; their defaults are used."),
               QStringLiteral("Unreadable: %1. Choose them again under Interface or Options....")
                   .arg(unreadableSettings_.join(QStringLiteral(", "))));
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
    tmrMain_->setEnabled(false);
    delete options_;
    // The line is not driven at shut-down; releasing the port is all.
    if (serial_.isOpen())
        serial_.close();
    if (desktop_)
        desktop_->windowClosed();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}

void MainWindow::SetDefaults()
{
    ActionScope scope(*this);
    unreadableSettings_ =
        loadActiveConfiguration(store_, *this, line_.config(), [this] { OpenSerialPort(); });
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
    if (deferMessages_)
        startupMessage_ = ui::Message{text, detail};
    else
        ui::showMessage(text, detail);
}

void MainWindow::reportSaveFailure()
{
    report(QStringLiteral("The settings could not be saved."), store_.failureText());
}

void MainWindow::connectClicked()
{
    ActionScope scope(*this);
    // A line that failed did not move: the caption keeps saying what the button will do.
    if (line_.shutterOpen()) {
        if (CloseShutter())
            cmdConnect_->setText(QStringLiteral("Open Shutter"));
    } else {
        if (OpenShutter())
            cmdConnect_->setText(QStringLiteral("Close Shutter"));
    }
    if (desktop_)
        desktop_->setShutterOpenByHand(line_.shutterOpen());
}

void MainWindow::selectInterface(bool serial)
{
    ActionScope scope(*this);
    if (!saveInterfaceChoice(store_, serial))
        reportSaveFailure();
    SetDefaults();
}

void MainWindow::showOptions()
{
    if (!options_)
        options_ = new OptionsDialog(store_, [this](bool saved) {
            ActionScope scope(*this);
            if (!saved)
                reportSaveFailure();
            // The program may have been told to close while the message was up.
            if (!unloaded_)
                SetDefaults();
        });
    options_->show();
    options_->raise();
    options_->activateWindow();
}

void MainWindow::showAbout()
{
    AboutDialog::showInstance();
}

void MainWindow::setParallelChecked(bool checked)
{
    mnuParallel_->setChecked(checked);
}
bool MainWindow::parallelChecked() const
{
    return mnuParallel_->isChecked();
}
void MainWindow::setSerialChecked(bool checked)
{
    mnuSerial_->setChecked(checked);
}
bool MainWindow::serialChecked() const
{
    return mnuSerial_->isChecked();
}

} // namespace kestrova
