// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QMessageBox;
class QWidget;

namespace kestrova::ui {

struct Message {
    QString text;
    QString informativeText;
};

// The program's message box: title "Kestrova", an OK button only, no icon; informative text,
// when given, names the device and the reason. Returns when the user has dismissed it.
void showMessage(const QString& text, const QString& informativeText = {});

// Builds the box that showMessage shows, without showing it.
std::unique_ptr<QMessageBox> createMessageBox(const QString& text,
                                              const QString& informativeText = {});

// A question with two buttons: rejectButton is the default and Escape's.
struct Question {
    QString text;
    QString informativeText;
    QString acceptButton;
    QString rejectButton;
};

// Asks in a box titled "Kestrova", without an icon; true when the user chose acceptButton.
bool ask(const Question& question);

// Tests answer message boxes here instead of a person: while a handler is installed,
// showMessage hands it the message and returns at once. Passing nullptr removes it.
using MessageHandler = std::function<void(const Message&)>;
void setMessageHandler(MessageHandler handler);
using QuestionHandler = std::function<bool(const Question&)>;
void setQuestionHandler(QuestionHandler handler);

} // namespace kestrova::ui
