// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/SystemPlatform.h"
#include "fakes/FakeSysInfo.h"

#include <QtTest>

using namespace kestrova::about;
using kestrova::test::FakeSystem;

const QString Program = QStringLiteral("C:\\Tools\\msinfo32.exe");

class SysInfoTest : public QObject {
    Q_OBJECT
private slots:
    void findingTheTool_data();
    void findingTheTool();
    void foundProgramReallyStarts();
};

// Each row stores the tool's path value (a null one: not even its key exists) and its folder
// value, then reads the path value as the caller's text "caller" and starts the tool.
void SysInfoTest::findingTheTool_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("start");
    const uint sz = registry::RegSz;
    const uint dword = registry::RegDword;
    const QByteArray none;
    const QByteArray info = "C:\\Info";
    // clang-format off
    QTest::newRow("zero-terminated text loses the zero") << sz << Program.toLatin1() + '\0' << info << "read " + Program << "started " + Program;
    QTest::newRow("unterminated text keeps every character") << sz << Program.toLatin1() << none << "read " + Program << "started " + Program;
    QTest::newRow("a number reads its bytes from the last") << dword << QByteArray::fromHex("78563412") << info << "read &h12345678" << "message";
    QTest::newRow("a number loses only its zero last byte") << dword << QByteArray::fromHex("1A000000") << none << "read &h00001A" << "message";
    QTest::newRow("another type keeps the caller's text") << uint(registry::RegBinary) << QByteArray("xyz") << info << "read caller" << "message";
    QTest::newRow("a path to a missing file: the folder unread") << sz << QByteArray("C:\\Gone.exe") << info << "read C:\\Gone.exe" << "message";
    QTest::newRow("data of 1024 bytes fits") << sz << QByteArray(1024, 'a') << none << "read " + QString(1024, 'a') << "message";
    QTest::newRow("data over 1024 bytes: the folder's tool") << sz << QByteArray(1025, 'a') << info << "not read " << "started C:\\Info\\MSINFO32.EXE after the folder";
    QTest::newRow("a value without data: the folder unread") << sz << QByteArray("") << info << "error caller" << "message";
    QTest::newRow("no path: the folder's tool") << sz << none << info << "not read " << "started C:\\Info\\MSINFO32.EXE after the folder";
    QTest::newRow("no path, a folder without the tool") << sz << none << QByteArray("C:\\Empty") << "not read " << "message after the folder";
    QTest::newRow("nothing found") << sz << none << none << "not read " << "message after the folder";
    // clang-format on
}

void SysInfoTest::findingTheTool()
{
    QFETCH(uint, type);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, folder);
    FakeSystem fake;
    fake.installed = {Program, QStringLiteral("C:\\Info\\MSINFO32.EXE")};
    if (!path.isNull())
        fake.keys[QLatin1String(ToolPathKey)][QLatin1String(ToolPathValue)] = {type, path};
    if (!folder.isNull())
        fake.keys[QLatin1String(ToolFolderKey)][QLatin1String(ToolFolderValue)] = {registry::RegSz,
                                                                                   folder};

    QString text = QStringLiteral("caller");
    QString read = QStringLiteral("error ");
    try {
        read = GetKeyValue(fake, registry::LocalMachine, QLatin1String(ToolPathKey),
                           QLatin1String(ToolPathValue), text)
                   ? QStringLiteral("read ")
                   : QStringLiteral("not read ");
    } catch (const RegistryDataError&) {
    }
    QTEST(read + text, "read");

    QStringList messages;
    StartSysInfo(fake.platform(), [&](const QString& message) { messages << message; });
    QString start = fake.started.isEmpty() ? QStringLiteral("message")
                                           : QStringLiteral("started ") + fake.started.join(',');
    if (fake.opened.contains(QLatin1String(ToolFolderKey)))
        start += QStringLiteral(" after the folder");
    QTEST(start, "start");
    QCOMPARE(messages, fake.started.isEmpty() ? QStringList{SysInfoUnavailable} : QStringList());
    QVERIFY2(fake.allKeysClosed(), "a key was left open or closed twice");
}

// This machine's platform finds the preferred tool, not the first one on the search path, and
// the tool really runs: a script that leaves "<its path>.started" behind.
void SysInfoTest::foundProgramReallyStarts()
{
    QTemporaryDir first;
    QTemporaryDir second;
    const QString preferred = second.filePath(systemInformationTools().first());
    for (const QString& path : {first.filePath(systemInformationTools().last()), preferred}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("#!/bin/sh\ntouch \"$0.started\"\n"));
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    }
    ToolSearchRegistry registry({first.path(), second.path()});
    LocalFileProbe files;
    DetachedStarter starter;
    StartSysInfo({registry, files, starter}, [](const QString&) {});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(preferred + QStringLiteral(".started")), 10000);
    QVERIFY(files.isOrdinaryFile(preferred) && !files.isOrdinaryFile(second.path()));
    QVERIFY(!starter.start(second.filePath(QStringLiteral("missing"))) && !starter.start({}));
}

QTEST_GUILESS_MAIN(SysInfoTest)
#include "test_sysinfo.moc"
