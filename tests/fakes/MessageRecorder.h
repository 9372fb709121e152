// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/MessageBox.h"

#include <QList>

namespace kestrova::test {

// Answers every message box while it lives, keeping what each one said.
struct MessageRecorder {
    MessageRecorder()
    {
        ui::setMessageHandler([this](const ui::Message& message) { messages << message; });
    }
    ~MessageRecorder() { ui::setMessageHandler(nullptr); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QList<ui::Message> messages;
};

} // namespace kestrova::test
