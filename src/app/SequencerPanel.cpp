// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SequencerPanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kestrova {

SequencerPanel::SequencerPanel(const Widgets& widgets, const ShutterLine& line, Reporter report)
    : widgets_(widgets), line_(line), report_(std::move(report))
{
}

QString SequencerPanel::connectCaption(bool shutterOpen)
{
    return shutterOpen ? QStringLiteral("Close Shutter") : QStringLiteral("Open Shutter");
}

QString SequencerPanel::numExposuresText() const
{
    return widgets_.txtNumExposures->text();
}
QString SequencerPanel::exposureTimeText() const
{
    return widgets_.txtLXTime->text();
}
QString SequencerPanel::delayText() const
{
    return widgets_.txtDelay->text();
}

void SequencerPanel::setTotalTimeCaption(const QString& caption)
{
    widgets_.lblTotalTime->setText(caption);
}

void SequencerPanel::setExposureTimeCaption(const QString& caption)
{
    widgets_.lblExposureTime->setText(caption);
}

void SequencerPanel::setExposuresCaption(const QString& caption)
{
    widgets_.lblExposures->setText(caption);
}

void SequencerPanel::setStartEnabled(bool enabled)
{
    widgets_.cmdStart->setEnabled(enabled);
}
void SequencerPanel::setCancelEnabled(bool enabled)
{
    widgets_.cmdCancel->setEnabled(enabled);
}
void SequencerPanel::setConnectEnabled(bool enabled)
{
    // The sequence has moved the shutter since the button last changed its caption: a caption
    // that no longer matches would make the next click do the opposite of what it says.
    if (enabled)
        widgets_.cmdConnect->setText(connectCaption(line_.shutterOpen()));
    widgets_.cmdConnect->setEnabled(enabled);
}

void SequencerPanel::showMessage(const QString& text, const QString& detail)
{
    report_(text, detail);
}

} // namespace kestrova
