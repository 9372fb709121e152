// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/SystemPlatform.h"
#include "fakes/FakeSysInfo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrova::about;
using kestrova::test::FakeSystem;

const QString PathKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString PathValue = QStringLiteral("PATH");
const QString FolderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString FolderValue = QStringLiteral("MSINFO");
const QString Program = QStringLiteral("C:\\Tools\\msinfo32.exe");
const QString FolderTool = QStringLiteral("C:\\Info\\MSINFO32.EXE");

enum Result { Read, NotRead, Throws };

class SysInfoTest : public QObject {
    Q_OBJECT
private slots:
    void getKeyValue_data();
    void getKeyValue();
    void startSysInfo_data();
    void startSysInfo();
    void foundProgramReallyStarts();
};

void SysInfoTest::getKeyValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data"); // null: not even the key exists
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("expected"); // the caller passes "caller"

    const auto row = [](const char* name, uint type, const QByteArray& data, Result result,
                        const QString& expected, const QString& value = PathValue) {
        QTest::newRow(name) << value << type << data << int(result) << expected;
    };
    const uint sz = registry::RegSz;
    const uint dword = registry::RegDword;
    row("zero-terminated text loses the zero", sz, QByteArray("C:\\x", 5), Read, "C:\\x");
    row("unterminated text keeps every character", sz, "C:\\x", Read, "C:\\x");
    row("a number reads its bytes from the last to the first", dword,
        QByteArray::fromHex("78563412"), Read, "&h12345678");
    row("a number loses only its zero last byte", dword, QByteArray::fromHex("1A000000"), Read,
        "&h00001A");
    row("another type keeps the caller's text", registry::RegBinary, "xyz", Read, "caller");
    row("data of 1024 bytes fits", sz, QByteArray(1024, 'a'), Read, QString(1024, 'a'));
    row("data over 1024 bytes is not read", sz, QByteArray(1025, 'a'), NotRead, "");
    row("a value without data is an error", sz, "", Throws, "caller");
    row("a missing value empties the caller's text", sz, "x", NotRead, "", FolderValue);
    row("a missing key empties the caller's text", sz, QByteArray(), NotRead, "");
}

void SysInfoTest::getKeyValue()
{
    QFETCH(QString, value);
    QFETCH(uint, type);
    QFETCH(QByteArray, data);
    QFETCH(int, result);
    QFETCH(QString, expected);

    FakeSystem fake;
    if (!data.isNull())
        fake.keys[PathKey][value] = {type, data};
    QString text = QStringLiteral("caller");
    int outcome = Throws;
    try {
        outcome =
            GetKeyValue(fake, registry::LocalMachine, PathKey, PathValue, text) ? Read : NotRead;
    } catch (const RegistryDataError&) {
    }
    QCOMPARE(outcome, result);
    QCOMPARE(text, expected);
    QVERIFY2(fake.allKeysClosed(), "a key was left open or closed twice");
}

void SysInfoTest::startSysInfo_data()
{
    QTest::addColumn<QByteArray>("path");   // the "PATH" value; null: none
    QTest::addColumn<QByteArray>("folder"); // the "MSINFO" value; null: none
    QTest::addColumn<QString>("started");   // empty: the message shows instead
    QTest::addColumn<bool>("folderConsulted");

    const QByteArray none;
    const QByteArray info("C:\\Info");
    QTest::newRow("the first location's program starts as read")
        << Program.toLatin1() + '\0' << info << Program << false;
    QTest::newRow("a PATH naming a missing file: the message, the folder unread")
        << QByteArray("C:\\Gone\\msinfo32.exe") << info << QString() << false;
    QTest::newRow("a PATH without data: the message, the folder unread")
        << QByteArray("") << info << QString() << false;
    QTest::newRow("no PATH: the tool in the folder starts") << none << info << FolderTool << true;
    QTest::newRow("no PATH: a folder without the tool shows the message")
        << none << QByteArray("C:\\Empty") << QString() << true;
    QTest::newRow("nothing found shows the message") << none << none << QString() << true;
}

void SysInfoTest::startSysInfo()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, folder);
    QFETCH(QString, started);
    QFETCH(bool, folderConsulted);

    FakeSystem fake;
    fake.installed = {Program, FolderTool};
    if (!path.isNull())
        fake.keys[PathKey][PathValue] = {registry::RegSz, path};
    if (!folder.isNull())
        fake.keys[FolderKey][FolderValue] = {registry::RegSz, folder};
    QStringList messages;
    StartSysInfo(fake.platform(), [&](const QString& text) { messages << text; });

    QCOMPARE(fake.started, started.isEmpty() ? QStringList() : QStringList{started});
    QCOMPARE(messages, started.isEmpty() ? QStringList{SysInfoUnavailable} : QStringList());
    QCOMPARE(fake.opened.contains(FolderKey), folderConsulted);
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
