// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WindowRig.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

namespace kestrova::test {

WindowRig::WindowRig(MemoryStore* sharedStore)
    : store(sharedStore ? *sharedStore : ownStore_), ticks(new FakeTickSource)
{
}

WindowRig::~WindowRig()
{
    delete window;
    if (!ticksTaken_)
        delete ticks;
}

MainWindow& WindowRig::open(SerialLine* line, const SerialPortEnumerator* serialPorts,
                            ParallelPort* port, TickSource* timer)
{
    delete window;
    if (!timer && ticksTaken_)
        ticks = new FakeTickSource;
    ticksTaken_ = ticksTaken_ || !timer;
    window = new MainWindow(store, port ? *port : parallel, line ? *line : serial, nullptr,
                            timer ? timer : ticks, serialPorts);
    if (showWindow)
        window->show();
    return *window;
}

void WindowRig::click(const char* button) const
{
    find<QPushButton>(button)->click();
}

void WindowRig::trigger(const char* action) const
{
    find<QAction>(action)->trigger();
}

void WindowRig::enter(const QString& count, const QString& exposure, const QString& delay) const
{
    find<QLineEdit>("txtNumExposures")->setText(count);
    find<QLineEdit>("txtLXTime")->setText(exposure);
    find<QLineEdit>("txtDelay")->setText(delay);
}

void missingChild(const QString& name)
{
    qFatal("no control named %s", qPrintable(name));
}

} // namespace kestrova::test
