// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

namespace kestrova::ui {

namespace {
MessageHandler& handler()
{
    static MessageHandler installed;
    return installed;
}
QuestionHandler& questionHandler()
{
    static QuestionHandler installed;
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

bool ask(const Question& question)
{
    if (questionHandler())
        return questionHandler()(question);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrova"), question.text);
    box.setObjectName(QStringLiteral("questionBox"));
    box.setInformativeText(question.informativeText);
    box.setWindowModality(Qt::ApplicationModal);
    QPushButton* accept = box.addButton(question.acceptButton, QMessageBox::AcceptRole);
    QPushButton* reject = box.addButton(question.rejectButton, QMessageBox::RejectRole);
    box.setDefaultButton(reject);
    box.setEscapeButton(reject);
    box.exec();
    return box.clickedButton() == accept;
}

void setQuestionHandler(QuestionHandler newHandler)
{
    questionHandler() = std::move(newHandler);
}

} // namespace kestrova::ui
