// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/FakeSysInfo.h"

#include <QtTest>

using namespace kestrova::about;

const QString Tool = QStringLiteral("C:\\Info") + ToolFileName;

class SysInfoTest : public QObject {
    Q_OBJECT
private slots:
    // Each row stores the tool's path value (null: not even its key exists) and its folder value,
    // then starts the tool, where Tool and a program of 1024 letters are installed.
    void findingTheTool_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QStringList>("outcome"); // the program started or the message shown
        const QByteArray none;
        const QByteArray tool = Tool.toLatin1();
        const QByteArray info = "C:\\Info";
        const QStringList unavailable{SysInfoUnavailable};
        // clang-format off
        QTest::newRow("the path's text loses its terminating zero") << tool + '\0' << info << QStringList{Tool};
        QTest::newRow("an unterminated path keeps every character") << tool << none << QStringList{Tool};
        QTest::newRow("a path to a missing file: the folder unread") << tool + ".old" << info << unavailable;
        QTest::newRow("a path without data: the folder unread") << QByteArray("") << info << unavailable;
        QTest::newRow("a path of 1024 bytes is read") << QByteArray(1024, 'a') << none << QStringList{QString(1024, 'a')};
        QTest::newRow("a path over 1024 bytes: the folder's tool") << QByteArray(1025, 'a') << info << QStringList{Tool};
        QTest::newRow("no path: the folder's tool") << none << info << QStringList{Tool};
        QTest::newRow("nothing found") << none << none << unavailable;
        // clang-format on
    }

    void findingTheTool()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, folder);
        kestrova::test::FakeSystem fake;
        fake.installed = {Tool, QString(1024, 'a')};
        if (!path.isNull())
            fake.keys[ToolPathKey][ToolPathValue] = {registry::RegSz, path};
        if (!folder.isNull())
            fake.keys[ToolFolderKey][ToolFolderValue] = {registry::RegSz, folder};
        QStringList messages;
        StartSysInfo(fake.platform(), [&](const QString& message) { messages << message; });
        QTEST(fake.started + messages, "outcome");
        QVERIFY2(fake.allKeysClosed(), "a key was left open or closed twice");
    }
};

QTEST_GUILESS_MAIN(SysInfoTest)
#include "test_sysinfo.moc"
