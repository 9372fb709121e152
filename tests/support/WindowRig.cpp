// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WindowRig.h"

#include <QtTest>
#include <QtWidgets>
#include <csignal>

namespace kestrova::test {

WindowRig::WindowRig()
{
    ui::setMessageHandler([this](const ui::Message& message) {
        messages << Failure{message.text, message.informativeText};
    });
    ui::setQuestionHandler([this](const ui::Question& question) {
        questions << question;
        return closeWhenAsked;
    });
}

WindowRig::~WindowRig()
{
    delete window;
    ui::setMessageHandler(nullptr);
    ui::setQuestionHandler(nullptr);
}

MainWindow& WindowRig::open(const SerialPortEnumerator* serialPorts)
{
    delete window;
    Controller& made = make(nullptr, serialPorts);
    if (journal)
        made.setJournal(*journal);
    // The window tells the controller's messages in its own boxes, recorded above.
    QObject::disconnect(&made, &Controller::message, nullptr, nullptr);
    window = new MainWindow(made, store);
    window->show();
    return *window;
}

bool WindowRig::playWord(const QString& word)
{
    const QStringList values = word.split(',');
    const QString name = word.section(':', 0, 0).remove('^');
    if (values.size() == 3) {
        find<QLineEdit>("txtNumExposures")->setText(values[0]);
        find<QLineEdit>("txtLXTime")->setText(values[1]);
        find<QLineEdit>("txtDelay")->setText(values[2]);
        find<QPushButton>("cmdStart")->click();
    } else if (word == "close") {
        window->close();
    } else if (word == "keep") {
        closeWhenAsked = false;
    } else if (word == "ctrl+x") {
        // A shortcut of the window's menu reaches it while it is the active window.
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            QTest::qFail("the window is not active", __FILE__, __LINE__);
        QTest::keyClick(window, Qt::Key_X, Qt::ControlModifier);
    } else if (word == "SIGTERM") {
        ::raise(SIGTERM); // the window closes on the event thread
        if (!QTest::qWaitFor([this] { return !window->isVisible(); }))
            QTest::qFail("the window did not close", __FILE__, __LINE__);
    } else if (auto* action = window->findChild<QAction*>(name)) {
        action->trigger();
    } else if (QWidget* control = window->findChild<QWidget*>(name)) {
        QTest::mouseClick(control, Qt::LeftButton);
    } else if (name.startsWith("cmdOptions") || name.startsWith("lst") || name.startsWith("chk")) {
        find<QAction>("mnuOptions")->trigger();
        control = child(optionsDialog(), name);
        // Shows the control's tab; a button, on no tab, has the index -1, which changes nothing.
        if (auto* tabs = control->window()->findChild<QTabWidget*>())
            tabs->setCurrentIndex(tabs->indexOf(control->parentWidget()));
        auto* list = qobject_cast<QListWidget*>(control);
        QListWidgetItem* item = list ? list->item(word.section(':', 1).toInt()) : nullptr;
        if (list)
            list->scrollToItem(item);
        QTest::mouseClick(list ? list->viewport() : control, Qt::LeftButton,
                          word.startsWith('^') ? Qt::ControlModifier : Qt::NoModifier,
                          list ? list->visualItemRect(item).center() : QPoint());
    } else {
        return false;
    }
    return true;
}

OptionsDialog* WindowRig::optionsDialog() const
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<OptionsDialog*>(window))
            return dialog;
    return nullptr;
}

} // namespace kestrova::test
