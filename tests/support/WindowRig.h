// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/MainWindow.h"
#include "config/OptionsDialog.h"
#include "fakes/FakePorts.h"
#include "fakes/FakeTickSource.h"
#include "fakes/MemoryStore.h"
#include "ui/MessageBox.h"

#include <QPointer>

namespace kestrova::test {

[[noreturn]] void missingChild(const QString& name);

// The child of that objectName; a missing one ends the test program, naming it.
template <typename T = QWidget> T* child(const QObject* parent, const QString& name)
{
    T* found = parent ? parent->findChild<T*>(name) : nullptr;
    if (!found)
        missingChild(name);
    return found;
}

// The real main window on fakes of the store, both ports and its timer, answering every message
// box while it lives and keeping what each said. The store may be one the test keeps across
// several windows, as across restarts; open() may put a real adapter or timer in place of a fake.
struct WindowRig {
    explicit WindowRig(MemoryStore* sharedStore = nullptr);
    ~WindowRig();
    WindowRig(const WindowRig&) = delete;
    WindowRig& operator=(const WindowRig&) = delete;

    // Builds a window on the stored settings, shown unless showWindow is false; the rig deletes
    // the last one it built. A port given here must outlive that window: a test that keeps its
    // own deletes the window first.
    MainWindow& open(SerialLine* line = nullptr, const SerialPortEnumerator* serialPorts = nullptr,
                     ParallelPort* port = nullptr, TickSource* timer = nullptr);

    // The control or action of the last window with that objectName.
    template <typename T = QWidget> T* find(const char* name) const
    {
        return child<T>(window, QLatin1String(name));
    }
    // Acts as a user would, word by word: "N,E,D" enters a sequence and starts it; an objectName
    // clicks that button or box, or triggers that action, on the window or else on the options
    // dialog, shown by Options... and on the control's tab; "lstPBit:5" clicks the item at
    // position 5 of that list, "^lstPBit:5" with Ctrl. "tick" ticks once, "run" until the
    // sequence ends, "fail" makes the parallel port fail, "close" closes the window by its
    // close box, "SIGTERM" by a logout, "ctrl+x" presses Ctrl+X; "keep" answers the question
    // asked before leaving with Keep Running from then on.
    void play(const QString& script);
    // The options dialog, once loaded.
    OptionsDialog* optionsDialog() const;
    void enter(const QString& count, const QString& exposure, const QString& delay) const;

    QList<ui::Message> messages;
    QList<ui::Question> questions;
    bool closeWhenAsked = true; // the answer to each question: Close Kestrova
    MemoryStore& store;
    FakeParallelPort parallel;
    FakeSerialLine serial;
    FakeTickSource* ticks; // the window's once open() takes it
    QPointer<MainWindow> window;
    bool showWindow = true;

private:
    MemoryStore ownStore_;
    bool ticksTaken_ = false;
};

} // namespace kestrova::test
