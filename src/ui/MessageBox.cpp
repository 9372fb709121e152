// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageBox.h"

#include <QMessageBox>

namespace kestrova::ui {

namespace {
MessageHandler& handler()
{
    static MessageHandler installed;
    return installed;
}
} // namespace

std::unique_ptr<QMessageBox> createMessageBox(const QString& text, const QString& informativeText)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, QStringLiteral("Kestrova"), text,
                                             QMessageBox::Ok);
    box->setObjectName(QStringLiteral("messageBox"));
    box->setInformativeText(informativeText);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

void showMessage(const QString& text, const QString& informativeText)
{
    if (handler()) {
        handler()(Message{text, informativeText});
        return;
    }
    createMessageBox(text, informativeText)->exec();
}

void setMessageHandler(MessageHandler newHandler)
{
    handler() = std::move(newHandler);
}

} // namespace kestrova::ui
