// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/MainWindow.h"

#include "windows/AboutDialog.h"
#include "control/Messages.h"
#include "ui/AppIcon.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/Twips.h"
#include "windows/OptionsDialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
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

MainWindow::MainWindow(Controller& controller, SettingsStore& store, QWidget* parent)
    : QMainWindow(parent), controller_(controller), store_(store)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestrova"));
    setWindowIcon(ui::appIcon());
    setFont(ui::dialogFont());
    setAttribute(Qt::WA_DeleteOnClose);
    createControls();
    createMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    connectController();
    // The desktop session is ending (a logout): the window closes without asking.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &MainWindow::closeWithoutAsking);
    controller_.load();
    loading_ = false;
}

MainWindow::~MainWindow()
{
    unload();
}

QString MainWindow::connectCaption(bool shutterOpen)
{
    return shutterOpen ? QStringLiteral("Close Shutter") : QStringLiteral("Open Shutter");
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
    cmdConnect_ = ui::place<QPushButton>(client, "cmdConnect", connectCaption(false),
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
    connect(mnuParallel_, &QAction::triggered, this,
            [this] { controller_.selectInterface(Interface::Parallel); });
    connect(mnuSerial_, &QAction::triggered, this,
            [this] { controller_.selectInterface(Interface::Serial); });

    QAction* options = bar->addAction(QStringLiteral("Options..."));
    options->setObjectName(QStringLiteral("mnuOptions"));
    connect(options, &QAction::triggered, this, &MainWindow::showOptions);

    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    QAction* about = help->addAction(QStringLiteral("About..."));
    about->setObjectName(QStringLiteral("mnuAbout"));
    connect(about, &QAction::triggered, this, &AboutDialog::showInstance);
}

void MainWindow::connectController()
{
    Sequencer& sequencer = controller_.sequencer();
    connect(txtNumExposures_, &QLineEdit::textChanged, &sequencer, &Sequencer::setNumExposuresText);
    connect(txtLXTime_, &QLineEdit::textChanged, &sequencer, &Sequencer::setExposureTimeText);
    connect(txtDelay_, &QLineEdit::textChanged, &sequencer, &Sequencer::setDelayText);
    connect(&sequencer, &Sequencer::totalTimeChanged, lblTotalTime_, &QLabel::setText);
    connect(&sequencer, &Sequencer::exposureTimeChanged, lblExposureTime_, &QLabel::setText);
    connect(&sequencer, &Sequencer::exposuresChanged, lblExposures_, &QLabel::setText);
    connect(&sequencer, &Sequencer::runningChanged, this, [this](bool running) {
        cmdCancel_->setEnabled(running);
        cmdStart_->setEnabled(!running);
        // The sequence has moved the shutter since the button last changed its caption: a
        // caption that no longer matched would make the next click do the opposite of what it
        // says.
        if (!running)
            cmdConnect_->setText(connectCaption(controller_.shutterOpen()));
        cmdConnect_->setEnabled(!running);
    });
    connect(cmdStart_, &QPushButton::clicked, &controller_, &Controller::start);
    connect(cmdCancel_, &QPushButton::clicked, &controller_, &Controller::cancel);
    connect(cmdConnect_, &QPushButton::clicked, &controller_, &Controller::toggleShutter);
    connect(&controller_, &Controller::shutterToggled, this,
            [this](bool open) { cmdConnect_->setText(connectCaption(open)); });
    connect(&controller_, &Controller::interfaceChecked, this, [this](bool parallel, bool serial) {
        mnuParallel_->setChecked(parallel);
        mnuSerial_->setChecked(serial);
    });
    connect(&controller_, &Controller::message, this, &MainWindow::showMessage);
    // What is left of a sequence the journal saw begin but not end is offered, never started.
    connect(&controller_, &Controller::unfinishedSequenceFound, this,
            [this](const UnfinishedSequence& unfinished) {
                if (unfinished.exposuresLeft() > 0) {
                    txtNumExposures_->setText(QString::number(unfinished.exposuresLeft()));
                    txtLXTime_->setText(QString::number(unfinished.exposureSeconds));
                    txtDelay_->setText(QString::number(unfinished.delaySeconds));
                }
                showMessage({QString::fromLatin1(messages::SequenceDidNotEnd),
                             unfinishedSequenceText(unfinished)});
            });
}

// A failure at start-up is told once the window is on screen, so the user sees what the message
// is about.
void MainWindow::showMessage(const Failure& message)
{
    if (loading_)
        startupMessages_ << message;
    else
        ui::showMessage(message.text, message.detail);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!startupMessages_.isEmpty())
        QTimer::singleShot(0, this, [this] {
            for (const Failure& message : std::exchange(startupMessages_, {}))
                ui::showMessage(message.text, message.detail);
        });
}

void MainWindow::closeWithoutAsking()
{
    askBeforeLeaving_ = false;
}

void MainWindow::terminate()
{
    closeWithoutAsking();
    // Each window runs its own close handling; quitting then also ends the loop of any message
    // box that is open.
    QApplication::closeAllWindows();
    QApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Ctrl+X, which a user may press meaning Cut, and the close box ask first while the camera
    // is working; a logout or a termination signal does not wait for an answer.
    if (!unloaded_ && askBeforeLeaving_ && (controller_.running() || controller_.shutterOpen()) &&
        !ui::ask(leaveQuestion()) && !unloaded_) // closed meanwhile by a signal
    {
        event->ignore();
        return;
    }
    unload();
    event->accept();
}

ui::Question MainWindow::leaveQuestion() const
{
    const ShutterLine& line = controller_.line();
    ui::Question question{QString(), QString(), QStringLiteral("Close Kestrova"),
                          QStringLiteral("Keep Running")};
    if (controller_.running()) {
        question.text = QStringLiteral("A sequence is running.");
        question.informativeText = QString::fromLatin1(messages::LeavingCancelsSequence);
    } else {
        question.text = QStringLiteral("The shutter is open.");
        // Releasing a serial port drops its lines, which closes a shutter wired to open on a set
        // line; otherwise the line keeps its level.
        question.informativeText = QString::fromLatin1(
            line.heldByLineNotConfigured() ? messages::LeavingClosesOldLine
            : line.config().Use == Interface::Serial && line.config().ActiveLogic
                ? messages::LeavingReleasesShutter
                : messages::LeavingKeepsShutterOpen);
    }
    return question;
}

void MainWindow::unload()
{
    if (std::exchange(unloaded_, true))
        return;
    delete options_;
    controller_.unload();
}

void MainWindow::showOptions()
{
    const bool created = !options_;
    if (created)
        options_ = new OptionsDialog(store_);
    QStringList toolTips;
    for (const ComPort& com : controller_.comPorts())
        toolTips << comToolTip(com);
    if (!options_ || unloaded_) // closed while a message about the store was up
        return;
    options_->setComPortToolTips(toolTips);
    // What the dialog cannot show as it is in force is told, as at start-up.
    if (created)
        controller_.tellUnreadable(options_->keysNotShown());
    options_->show();
    options_->raise();
    options_->activateWindow();
}

} // namespace kestrova
