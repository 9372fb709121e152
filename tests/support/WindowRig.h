// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/ControllerRig.h"
#include "ui/MessageBox.h"
#include "windows/MainWindow.h"
#include "windows/OptionsDialog.h"

#include <QPointer>

namespace kestrova::test {

// The child of that objectName; a missing one ends the test program, naming it.
template <typename T = QWidget> T* child(const QObject* parent, const QString& name)
{
    T* found = parent ? parent->findChild<T*>(name) : nullptr;
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

// The real main window on the controller rig's fakes, answering every message box and question
// while it lives and keeping what each said.
struct WindowRig : ControllerRig {
    WindowRig();
    ~WindowRig() override;

    // Builds and shows a window on a new controller; the rig deletes the last one it built. The
    // serial ports given here must outlive that window.
    MainWindow& open(const SerialPortEnumerator* serialPorts = nullptr);

    // The control or action of the last window with that objectName.
    template <typename T = QWidget> T* find(const char* name) const
    {
        return child<T>(window, QLatin1String(name));
    }
    // The options dialog, once loaded.
    OptionsDialog* optionsDialog() const;

    JournalWriter* journal = nullptr; // the controller's journal, when a test gives one
    QList<ui::Question> questions;
    bool closeWhenAsked = true; // the answer to each question: Close Kestrova
    QPointer<MainWindow> window;

protected:
    // "N,E,D" types the fields and clicks Start; an objectName clicks that button or box, or
    // triggers that action, on the window or else on the options dialog, shown by Options... and
    // on the control's tab; "lstPBit:5" clicks the item at position 5 of that list, "^lstPBit:5"
    // with Ctrl. "close" closes the window by its close box, "SIGTERM" by a termination signal,
    // "ctrl+x" presses Ctrl+X; "keep" answers the question before leaving with Keep Running from
    // then on.
    bool playWord(const QString& word) override;
};

} // namespace kestrova::test
