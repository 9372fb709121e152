// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WindowRig.h"

#include <QtTest>
#include <QtWidgets>
#include <csignal>

namespace kestrova::test {

WindowRig::WindowRig(MemoryStore* sharedStore)
    : store(sharedStore ? *sharedStore : ownStore_), ticks(new FakeTickSource)
{
    ui::setMessageHandler([this](const ui::Message& message) { messages << message; });
    ui::setQuestionHandler([this](const ui::Question& question) {
        questions << question;
        return closeWhenAsked;
    });
}

WindowRig::~WindowRig()
{
    delete window;
    if (!ticksTaken_)
        delete ticks;
    ui::setMessageHandler(nullptr);
    ui::setQuestionHandler(nullptr);
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

void WindowRig::enter(const QString& count, const QString& exposure, const QString& delay) const
{
    find<QLineEdit>("txtNumExposures")->setText(count);
    find<QLineEdit>("txtLXTime")->setText(exposure);
    find<QLineEdit>("txtDelay")->setText(delay);
}

void WindowRig::play(const QString& script)
{
    for (const QString& word : script.split(' ', Qt::SkipEmptyParts)) {
        const QStringList values = word.split(',');
        const QString name = word.section(':', 0, 0).remove('^');
        if (values.size() == 3) {
            enter(values[0], values[1], values[2]);
            find<QPushButton>("cmdStart")->click();
        } else if (word == "tick") {
            ticks->fire();
        } else if (word == "run") {
            QVERIFY(QTest::qWaitFor([this] { return !ticks->fire(); }));
        } else if (word == "fail") {
            parallel.fail = true;
        } else if (word == "close") {
            window->close();
        } else if (word == "keep") {
            closeWhenAsked = false;
        } else if (word == "ctrl+x") {
            QTest::keyClick(window, Qt::Key_X, Qt::ControlModifier);
        } else if (word == "SIGTERM") {
            ::raise(SIGTERM); // the window closes on the event thread
            QTRY_VERIFY(!window->isVisible());
        } else if (auto* action = window->findChild<QAction*>(name)) {
            action->trigger();
        } else {
            QWidget* control = window->findChild<QWidget*>(name);
            if (!control) {
                find<QAction>("mnuOptions")->trigger();
                control = child(optionsDialog(), name);
            }
            // Shows the control's tab; a button, on no tab, has the index -1, which changes
            // nothing.
            if (auto* tabs = control->window()->findChild<QTabWidget*>())
                tabs->setCurrentIndex(tabs->indexOf(control->parentWidget()));
            auto* list = qobject_cast<QListWidget*>(control);
            QListWidgetItem* item = list ? list->item(word.section(':', 1).toInt()) : nullptr;
            if (list)
                list->scrollToItem(item);
            QTest::mouseClick(list ? list->viewport() : control, Qt::LeftButton,
                              word.startsWith('^') ? Qt::ControlModifier : Qt::NoModifier,
                              list ? list->visualItemRect(item).center() : QPoint());
        }
    }
}

OptionsDialog* WindowRig::optionsDialog() const
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<OptionsDialog*>(window))
            return dialog;
    return nullptr;
}

void missingChild(const QString& name)
{
    qFatal("no control named %s", qPrintable(name));
}

} // namespace kestrova::test
