// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/SysInfo.h"
#include "about/SystemPlatform.h"

#include <QtTest>

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

class TestSysInfo : public QObject {
    Q_OBJECT
private slots:
    // The tools installed in a folder searched, and whether starting one fails; then what is
    // started, by name, or the message shown.
    void findingTheTool_data()
    {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QStringList>("outcome");
        const QStringList unavailable{SysInfoUnavailable};
        QTest::newRow("the first tool in order of preference")
            << "cpu-x hardinfo" << false << QStringList{"hardinfo"};
        QTest::newRow("the last tool alone") << "cpu-x" << false << QStringList{"cpu-x"};
        QTest::newRow("no tool installed") << "" << false << unavailable;
        QTest::newRow("the tool does not start")
            << "kinfocenter" << true << QStringList{"kinfocenter"} + unavailable;
    }

    void findingTheTool()
    {
        QFETCH(QString, installed);
        QTemporaryDir folder;
        for (const QString& name : installed.split(' ', Qt::SkipEmptyParts)) {
            QFile tool(folder.filePath(name));
            QVERIFY(tool.open(QIODevice::WriteOnly) && tool.setPermissions(QFile::ExeOwner));
        }
        ToolSearchRegistry registry({folder.path()});
        LocalFileProbe files;
        RecordingStarter starter;
        QFETCH(bool, refused);
        starter.refuse = refused;
        QStringList outcome;
        StartSysInfo({registry, files, starter}, [&](const QString& text) { outcome << text; });
        QTEST(starter.started.replaceInStrings(folder.path() + '/', QString()) + outcome,
              "outcome");
    }
};

QTEST_GUILESS_MAIN(TestSysInfo)
#include "test_sysinfo.moc"
