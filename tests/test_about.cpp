// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/AboutDialog.h"
#include "about/SysInfo.h"
#include "about/SystemPlatform.h"
#include "support/WindowRig.h"

#include <QLabel>
#include <QtTest>

using namespace kestrova;
using namespace kestrova::about;

// Keeps the programs it is asked to start instead of starting them.
struct RecordingStarter : ProgramStarter {
    bool start(const QString& path) override
    {
        started << path;
        return !refuse;
    }
    QStringList started;
    bool refuse = false;
};

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    // The About command shows the one instance, its texts whole in their boxes.
    void singleInstance()
    {
        test::WindowRig rig;
        rig.open();
        rig.trigger("mnuAbout");
        QPointer<AboutDialog> first = AboutDialog::instance();
        QVERIFY(first && first->isVisible());
        QCOMPARE(test::child<QLabel>(first, "lblVersion")->text(), "Version 1.0.1");
        for (QLabel* label : first->findChildren<QLabel*>())
            QVERIFY(label->heightForWidth(label->width()) <= label->height());

        // Shown again while loaded: the same window.
        rig.trigger("mnuAbout");
        QCOMPARE(AboutDialog::instance(), first.data());
        // Closed, it is unloaded; the next showing loads it afresh.
        first->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        rig.trigger("mnuAbout");
        QVERIFY(AboutDialog::instance() && AboutDialog::instance()->isVisible());
    }

    // The tools installed in a folder searched, whose path is padded so that the first tool's full
    // path has the given length (0: no padding), and whether starting it fails; then what is
    // started, by name, or the message shown.
    void findingTheTool_data()
    {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QStringList>("outcome");
        const QStringList unavailable{SysInfoUnavailable};
        QTest::newRow("the first tool in order of preference")
            << "cpu-x hardinfo" << 0 << false << QStringList{"hardinfo"};
        QTest::newRow("the last tool alone") << "cpu-x" << 0 << false << QStringList{"cpu-x"};
        QTest::newRow("no tool installed") << "" << 0 << false << unavailable;
        QTest::newRow("the tool does not start")
            << "kinfocenter" << 0 << true << QStringList{"kinfocenter"} + unavailable;
        QTest::newRow("a path of 1023 bytes fits with its terminating zero")
            << "hardinfo" << 1023 << false << QStringList{"hardinfo"};
        QTest::newRow("a path of 1024 bytes does not fit")
            << "hardinfo" << 1024 << false << unavailable;
    }

    void findingTheTool()
    {
        QFETCH(QString, installed);
        QFETCH(int, length);
        QTemporaryDir root;
        QString folder = root.path();
        // Folder names of at most 101 bytes, "/" included.
        const int pad =
            length ? length - int(folder.size() + QStringLiteral("/hardinfo").size()) : 0;
        const int parts = (pad + 100) / 101;
        for (int i = 0; i < parts; ++i)
            folder += '/' + QString(pad / parts + (i < pad % parts) - 1, 'f');
        QVERIFY(QDir().mkpath(folder));
        for (const QString& name : installed.split(' ', Qt::SkipEmptyParts)) {
            QFile tool(folder + '/' + name);
            QVERIFY(tool.open(QIODevice::WriteOnly) && tool.setPermissions(QFile::ExeOwner));
        }
        ToolSearchRegistry registry({folder});
        LocalFileProbe files;
        RecordingStarter starter;
        QFETCH(bool, refused);
        starter.refuse = refused;
        QStringList outcome;
        StartSysInfo({registry, files, starter}, [&](const QString& text) { outcome << text; });
        for (const QString& path : starter.started) {
            QCOMPARE(path.size(), length ? length : path.size());
            outcome.prepend(path.section('/', -1));
        }
        QTEST(outcome, "outcome");
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
