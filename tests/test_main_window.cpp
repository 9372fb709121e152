// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the user sees it, on the controller rig's fakes: its controls, the question
// before leaving, the message boxes and the about box.
#include "about/AboutText.h"
#include "control/Messages.h"
#include "journal/JournalWriter.h"
#include "support/WindowRig.h"
#include "system/TerminationSignals.h"
#include "windows/AboutDialog.h"

#include <QtTest>
#include <QtWidgets>

using namespace kestrova;
using namespace kestrova::test;

namespace {

// What the window shows: the three read-outs, the line (LPT1 bit D1, set when closed), the
// buttons and timer enabled, the Connect caption, each question asked and message told.
QString seen(const WindowRig& rig)
{
    QStringList seen;
    for (const char* label : {"lblTotalTime", "lblExposureTime", "lblExposures"})
        seen << rig.find<QLabel>(label)->text();
    seen << (rig.parallel.bitSet(888, 1) ? "closed" : "open");
    for (const char* name : {"cmdStart", "cmdCancel", "cmdConnect"})
        if (rig.find(name)->isEnabled())
            seen << name;
    if (rig.ticks->isEnabled())
        seen << "tmrMain";
    seen << '"' + rig.find<QPushButton>("cmdConnect")->text() + '"';
    for (const ui::Question& question : rig.questions)
        seen << "? " + question.text + " " + question.informativeText;
    for (const Failure& message : rig.messages)
        seen << "| " + message.text;
    if (!rig.window->isVisible())
        seen << "(closed)";
    return seen.join(' ');
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        // The one warning a test expects is announced; any other fails it but the offscreen
        // platform's own.
        QTest::failOnWarning(
            QRegularExpression("^(?!This plugin does not support (propagateSize|raise))"));
    }

    // The controls follow the controller; File, Exit (Ctrl+X, which a user may press for Cut),
    // the close box and a termination signal end the program, the first two asking first while
    // the camera works.
    void scripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("shown");
        const QString running =
            QString("? A sequence is running. ") + messages::LeavingCancelsSequence;
        // clang-format off
        QTest::newRow("a sequence, then Connect says what it will do") << "cmdConnect 1,1,0 tick" << "00:00:00 0 1 closed cmdStart cmdConnect \"Open Shutter\"";
        QTest::newRow("running: Cancel and the timer only") << "2,2,1 tick" << "00:00:04 1 0 open cmdCancel tmrMain \"Open Shutter\"";
        QTest::newRow("close box during an exposure: asked, then cancelled") << "2,2,1 tick close" << "00:00:04 0 0 closed cmdStart cmdConnect \"Open Shutter\" " + running + " (closed)";
        QTest::newRow("Ctrl+X, Keep Running: the sequence goes on") << "2,2,1 tick keep ctrl+x run" << "00:00:00 0 2 closed cmdStart cmdConnect \"Open Shutter\" " + running;
        QTest::newRow("a termination signal does not ask") << "2,2,1 tick SIGTERM" << "00:00:04 0 0 closed cmdStart cmdConnect \"Open Shutter\" (closed)";
        QTest::newRow("open by hand: asked, left open") << "cmdConnect close" << QString("00:00:00 0 0 open cmdStart cmdConnect \"Close Shutter\" ? The shutter is open. ") + messages::LeavingKeepsShutterOpen + " (closed)";
        QTest::newRow("open by hand through a line since changed: closed at the end") << "cmdConnect Parallel_Options/PortBit=5 close" << QString("00:00:00 0 0 closed cmdStart cmdConnect \"Close Shutter\" ? The shutter is open. ") + messages::LeavingClosesOldLine + " (closed)";
        QTest::newRow("serial, Active Logic checked, open by hand: the release closes it") << "mnuSerial cmdConnect close" << QString("00:00:00 0 0 closed cmdStart cmdConnect \"Close Shutter\" ? The shutter is open. ") + messages::LeavingReleasesShutter + " (closed)";
        // clang-format on
    }
    void scripts()
    {
        QFETCH(QString, script);
        TerminationSignals terminationSignals;
        WindowRig rig;
        rig.open().setAttribute(Qt::WA_DeleteOnClose, false);
        connect(&terminationSignals, &TerminationSignals::received, rig.window,
                &MainWindow::terminate);
        rig.play(script);
        QTEST(seen(rig), "shown");
    }

    // The window has the size of its layout and no other; the Interface menu's check marks
    // follow the stored choice; the read-outs are larger than the other captions, to be read
    // from afar.
    void layoutAndInterfaceMenu()
    {
        WindowRig rig;
        rig.store.save(settings::SerialControl, "1");
        rig.open();
        QVERIFY(rig.find<QAction>("mnuParallel")->isChecked() &&
                rig.find<QAction>("mnuSerial")->isChecked());
        rig.play("mnuParallel");
        QVERIFY(rig.find<QAction>("mnuParallel")->isChecked() &&
                !rig.find<QAction>("mnuSerial")->isChecked());
        QCOMPARE(rig.window->minimumSize(), rig.window->maximumSize());
        QCOMPARE(rig.find("clientArea")->size(), QSize(306, 322)); // 4590 x 4830 twips
        QCOMPARE_GT(rig.find("lblTotalTime")->font().pointSizeF(),
                    rig.find("Label1")->font().pointSizeF());
    }

    // A sequence the journal saw begin but not end is told once the window is on screen, and
    // what is left of it fills the fields; nothing starts by itself, and the line starts closed.
    void unfinishedSequenceOffered()
    {
        QTemporaryDir dir;
        JournalWriter writer(dir.path());
        JournalRow row; // the start of 5 exposures of 120 s, 10 s apart, and the first exposure
        row.utc = QDateTime::currentDateTimeUtc();
        row.sequence = writer.beginSequence(row.utc);
        row.exposures = 5;
        row.exposureS = 120;
        row.delayS = 10;
        for (const JournalEvent event :
             {JournalEvent::SequenceStart, JournalEvent::Open, JournalEvent::Close}) {
            row.event = event;
            QVERIFY(!writer.append(row));
            row.exposure = 1;
        }
        WindowRig rig;
        rig.journal = &writer;
        rig.open();
        QVERIFY(rig.messages.isEmpty());
        QTRY_COMPARE(seen(rig), "00:00:00 0 0 closed cmdStart cmdConnect \"Open Shutter\" | " +
                                    QString(messages::SequenceDidNotEnd));
        QVERIFY(rig.messages[0].detail.contains("after 1 of 5 exposures of 120 s"));
        QStringList fields;
        for (const char* name : {"txtNumExposures", "txtLXTime", "txtDelay"})
            fields << rig.find<QLineEdit>(name)->text();
        QCOMPARE(fields, (QStringList{"4", "120", "10"}));
    }

    // The About command shows the one instance, whose System Info... starts the first system
    // information tool found on the PATH, or says that none is available. Closed, it is unloaded.
    void aboutBox()
    {
        // Beside the test program: a temporary folder may be mounted without the right to run.
        QTemporaryDir tools(QCoreApplication::applicationDirPath() + "/tools-XXXXXX");
        const auto restorePath = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(tools.path()));
        WindowRig rig;
        rig.open();
        rig.play("mnuAbout");
        QPointer<AboutDialog> about = AboutDialog::instance();
        rig.play("mnuAbout");
        QVERIFY(about && about == AboutDialog::instance() && about->isVisible());
        QCOMPARE(about->objectName() + ' ' + about->windowTitle() + ", " +
                     child<QLabel>(about, "lblVersion")->text(),
                 "frmAbout About Kestrova, Version 1.0.1");
        child<QPushButton>(about, "cmdSysInfo")->click();
        QCOMPARE(rig.messages.value(0).text, about::SysInfoUnavailable);
        for (const char* name : {"cpu-x", "hardinfo"}) {
            QFile tool(tools.filePath(name));
            QVERIFY(tool.open(QIODevice::WriteOnly) &&
                    tool.write("#!/bin/sh\n: >\"$0.started\"\n") &&
                    tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        }
        child<QPushButton>(about, "cmdSysInfo")->click();
        QTRY_VERIFY(QFile::exists(tools.filePath("hardinfo.started")));
        QVERIFY(!QFile::exists(tools.filePath("cpu-x.started")) && rig.messages.size() == 1);
        about->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(about.isNull());
    }

    // The boxes a user meets, not the tests' recorder: title, texts, buttons (* the default) and
    // no icon, modal to the windows behind it, and Escape closes it: a message by its one button,
    // the question before leaving by Keep Running.
    void realBoxes()
    {
        WindowRig rig;
        rig.open();
        rig.play("cmdConnect"); // the shutter open by hand: leaving asks first
        ui::setMessageHandler(nullptr);
        ui::setQuestionHandler(nullptr);
        QString shown;
        const auto describeThenEscape = [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QStringList buttons;
            for (QAbstractButton* button : box->buttons())
                buttons << button->text().remove('&') + (button == box->defaultButton() ? "*" : "");
            buttons.sort();
            shown = QStringList{box->windowTitle(), box->text(), box->informativeText(),
                                buttons.join(',')}
                        .join('|');
            shown += box->icon() == QMessageBox::NoIcon ? "|no icon" : "|an icon";
            shown += box->windowModality() == Qt::ApplicationModal ? "|modal" : "|modeless";
            QTest::keyClick(box, Qt::Key_Escape);
        };
        QTimer::singleShot(0, describeThenEscape);
        ui::showMessage("What failed", "What to do");
        QCOMPARE(shown, "Kestrova|What failed|What to do|OK|no icon|modal");
        QTimer::singleShot(0, describeThenEscape);
        rig.window->close();
        QCOMPARE(shown, "Kestrova|The shutter is open.|" +
                            QString(messages::LeavingKeepsShutterOpen) +
                            "|Close Kestrova,Keep Running*|no icon|modal");
        QVERIFY(rig.window && rig.window->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
