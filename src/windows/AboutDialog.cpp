// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/AboutDialog.h"

#include "about/AboutText.h"
#include "about/SysInfo.h"
#include "core/AppInfo.h"
#include "ui/AppIcon.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

namespace kestrova {

namespace {

using ui::twipsRect;
using ui::twipsToPixels;

QPointer<AboutDialog>& loadedInstance()
{
    static QPointer<AboutDialog> dialog;
    return dialog;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
              bool blackText)
{
    auto* lbl = ui::wrappedLabel(parent, name, text, geometry);
    if (blackText) {
        QPalette palette = lbl->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        lbl->setPalette(palette);
    }
    return lbl;
}

// One stroke of the etched rule: a filled strip from x1 to x2 (twips) below y (twips).
QWidget* ruleStroke(QWidget* parent, const char* name, int x1, int x2, int y, int widthPixels,
                    const QColor& colour)
{
    auto* stroke = new QWidget(parent);
    stroke->setObjectName(QLatin1String(name));
    stroke->setGeometry(twipsToPixels(x1), twipsToPixels(y), twipsToPixels(x2) - twipsToPixels(x1),
                        widthPixels);
    QPalette palette = stroke->palette();
    palette.setColor(QPalette::Window, colour);
    stroke->setPalette(palette);
    stroke->setAutoFillBackground(true);
    return stroke;
}

} // namespace

AboutDialog::AboutDialog()
{
    setObjectName(QStringLiteral("frmAbout"));
    // A parentless dialog: no owner, so closing the main window leaves it open. On X11 Qt marks
    // it transient for its window group, which keeps it off the taskbar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(ui::dialogFont());
    createControls();
    load();

    // The client area opens at a fixed place on the screen and never changes size.
    const QSize client(twipsToPixels(5730), twipsToPixels(3555));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    setFixedSize(client);
    setGeometry(QRect(origin + QPoint(twipsToPixels(2340), twipsToPixels(1935)), client));
}

void AboutDialog::createControls()
{
    cmdOK_ = ui::place<QPushButton>(this, "cmdOK", QStringLiteral("OK"),
                                    twipsRect(4245, 2625, 1260, 345));
    cmdOK_->setDefault(true);

    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(twipsRect(240, 240, 540, 540));
    // A two-pixel sunken border around the 32 x 32 picture fills the 36-pixel box.
    picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picIcon->setLineWidth(2);
    picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picIcon->setPixmap(ui::appPixmap(32));

    cmdSysInfo_ = ui::place<QPushButton>(this, "cmdSysInfo", QStringLiteral("&System Info..."),
                                         twipsRect(4260, 3075, 1245, 345));

    auto* lblDescription = label(this, "lblDescription", about::description(),
                                 twipsRect(1050, 1125, 3885, 1170), true);
    auto* lblDisclaimer =
        label(this, "lblDisclaimer", about::disclaimer(), twipsRect(255, 2625, 3870, 825), true);
    lblTitle_ = label(this, "lblTitle", {}, twipsRect(1050, 240, 3885, 480), true);
    lblVersion_ = label(this, "lblVersion", {}, twipsRect(1050, 780, 3885, 225), false);

    // The etched rule Line1 between the description and the buttons: a grey line with a white
    // one beneath it.
    ruleStroke(this, "Line1_1", 90, 5654, 2445, 1, QColor(128, 128, 128));
    ruleStroke(this, "Line1_0", 105, 5654, 2460, 2, Qt::white);

    // The focus stops at the two buttons only; the chain keeps the order of the layout table.
    QWidget* const tabOrder[] = {cmdOK_,        picIcon,   cmdSysInfo_, lblDescription,
                                 lblDisclaimer, lblTitle_, lblVersion_};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    picIcon->setFocusPolicy(Qt::NoFocus);
    cmdOK_->setFocus();

    connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo_, &QPushButton::clicked, this, &AboutDialog::StartSysInfo);
}

void AboutDialog::load()
{
    const QString title = QString::fromUtf8(appinfo::Title);
    setWindowTitle(about::aboutCaption(title));
    lblVersion_->setText(about::versionLine(appinfo::Major, appinfo::Minor, appinfo::Revision));
    lblTitle_->setText(title);
}

void AboutDialog::StartSysInfo()
{
    if (!about::startSystemInformationTool())
        ui::showMessage(QString::fromLatin1(about::SysInfoUnavailable));
}

void AboutDialog::showInstance()
{
    QPointer<AboutDialog>& dialog = loadedInstance();
    if (!dialog)
        dialog = new AboutDialog;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

AboutDialog* AboutDialog::instance()
{
    return loadedInstance();
}

} // namespace kestrova
