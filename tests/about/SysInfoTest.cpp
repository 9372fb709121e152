#include "about/SysInfo.h"
#include "about/AboutText.h"
#include "about/SystemPlatform.h"
#include "fakes/FakeSysInfo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrova;
using namespace kestrova::about;
using kestrova::test::FakeFileProbe;
using kestrova::test::FakeRegistry;
using kestrova::test::FakeStarter;

namespace {

const QString PathKey = QString::fromLatin1(ToolPathKey);
const QString PathValue = QString::fromLatin1(ToolPathValue);
const QString FolderKey = QString::fromLatin1(ToolFolderKey);
const QString FolderValue = QString::fromLatin1(ToolFolderValue);
const QString Unavailable = QString::fromLatin1(SysInfoUnavailable);

// Writes an executable shell script that leaves "<its path>.started" behind when it runs.
QString writeTool(const QString& dir, const QString& name)
{
    const QString path = dir + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\ntouch \"$0.started\"\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class SysInfoTest : public QObject {
    Q_OBJECT
private slots:
    void getKeyValue_data();
    void getKeyValue();
    void valueWithoutDataIsAnErrorAndClosesTheKey();

    void startSysInfo_data();
    void startSysInfo();
    void pathNamingAMissingFileShowsTheMessage();

    void toolSearch_data();
    void toolSearch();
    void toolSearchHasNothingElse();
    void foundToolReallyStarts();

    void texts_data();
    void texts();
};

void SysInfoTest::getKeyValue_data()
{
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<bool>("valueExists");
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("callerText");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("expected");

    const uint sz = registry::RegSz;
    const uint dword = registry::RegDword;
    const QString before = QStringLiteral("before");

    QTest::newRow("text with its terminating zero loses the zero")
        << true << true << sz << QByteArray("C:\\Tools\\info.exe", 18) << before << true
        << QStringLiteral("C:\\Tools\\info.exe");
    QTest::newRow("text without a terminating zero keeps every character")
        << true << true << sz << QByteArray("C:\\Tools\\info.exe") << before << true
        << QStringLiteral("C:\\Tools\\info.exe");
    QTest::newRow("only the last zero byte is cut")
        << true << true << sz << QByteArray("ab\0\0", 4) << before << true
        << QString::fromLatin1("ab\0", 3);
    QTest::newRow("a lone terminating zero is empty text")
        << true << true << sz << QByteArray("\0", 1) << before << true << QString();
    QTest::newRow("text is read in the system code page")
        << true << true << sz << QStringLiteral("/opt/\u00DCbersicht").toLocal8Bit() << before
        << true << QStringLiteral("/opt/\u00DCbersicht");
    QTest::newRow("a number reads its bytes from the last to the first")
        << true << true << dword << QByteArray::fromHex("78563412") << before << true
        << QStringLiteral("&h12345678");
    QTest::newRow("a number loses a zero last byte before it is read")
        << true << true << dword << QByteArray::fromHex("1A000000") << before << true
        << QStringLiteral("&h00001A");
    QTest::newRow("a number's digits are uppercase and two to a byte")
        << true << true << dword << QByteArray::fromHex("0A0BFC0D") << before << true
        << QStringLiteral("&h0DFC0B0A");
    QTest::newRow("another type keeps the caller's text")
        << true << true << uint(registry::RegBinary) << QByteArray("xyz") << before << true
        << before;
    QTest::newRow("data of exactly 1024 bytes fits")
        << true << true << sz << QByteArray(1024, 'a') << before << true
        << QString(1024, QLatin1Char('a'));
    QTest::newRow("data over 1024 bytes is not read")
        << true << true << sz << QByteArray(1025, 'a') << before << false << QString();
    QTest::newRow("a missing value empties the caller's text")
        << true << false << sz << QByteArray() << before << false << QString();
    QTest::newRow("a missing key empties the caller's text")
        << false << false << sz << QByteArray() << before << false << QString();
}

void SysInfoTest::getKeyValue()
{
    QFETCH(bool, keyExists);
    QFETCH(bool, valueExists);
    QFETCH(uint, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, callerText);
    QFETCH(bool, found);
    QFETCH(QString, expected);

    FakeRegistry registry;
    if (keyExists)
        registry.addKey(PathKey);
    if (valueExists)
        registry.setValue(PathKey, PathValue, type, data);

    QString value = callerText;
    QCOMPARE(GetKeyValue(registry, registry::LocalMachine, PathKey, PathValue, value), found);
    QCOMPARE(value, expected);
    QVERIFY2(registry.openKeys.isEmpty(), "a key was left open");
    QCOMPARE(registry.calls.count(QStringLiteral("close")), keyExists ? 1 : 0);
    for (const auto& [options, access] : registry.openedWith) {
        QCOMPARE(options, 0u);
        QCOMPARE(access, KeyAccess);
    }
}

void SysInfoTest::valueWithoutDataIsAnErrorAndClosesTheKey()
{
    FakeRegistry registry;
    registry.setValue(PathKey, PathValue, registry::RegSz, QByteArray());
    QString value;
    QVERIFY_THROWS_EXCEPTION(RegistryDataError, GetKeyValue(registry, registry::LocalMachine,
                                                            PathKey, PathValue, value));
    QVERIFY2(registry.openKeys.isEmpty(), "the key was left open");
    QCOMPARE(registry.calls.count(QStringLiteral("close")), 1);
}

void SysInfoTest::startSysInfo_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QString>("started");
    QTest::addColumn<bool>("message");
    QTest::addColumn<bool>("folderConsulted");

    // setup words: path (PATH names an installed program), path-missing (PATH names nothing
    // installed), path-huge, path-empty, path-binary, path-dword, folder (MSINFO names a folder),
    // tool (the folder holds the tool's file), probe-fails, start-fails.
    const QString program = QStringLiteral("C:\\Tools\\msinfo32.exe");
    const QString folderTool = QStringLiteral("C:\\Info\\MSINFO32.EXE");

    QTest::newRow("the first location's path starts as read")
        << QByteArray("path folder tool") << program << false << false;
    QTest::newRow("a path naming no program shows the message without trying the folder")
        << QByteArray("path-missing folder tool") << QString() << true << false;
    QTest::newRow("no path: the folder's tool starts")
        << QByteArray("folder tool") << folderTool << false << true;
    QTest::newRow("no path: a folder without the tool's file shows the message")
        << QByteArray("folder") << QString() << true << true;
    QTest::newRow("nothing found shows the message") << QByteArray("") << QString() << true << true;
    QTest::newRow("a path over 1024 bytes counts as missing")
        << QByteArray("path-huge folder tool") << folderTool << false << true;
    QTest::newRow("a path without data ends at once with the message")
        << QByteArray("path-empty folder tool") << QString() << true << false;
    QTest::newRow("a path of another type is found empty and cannot start")
        << QByteArray("path-binary folder tool") << QString() << true << false;
    QTest::newRow("a path stored as a number cannot start")
        << QByteArray("path-dword folder tool") << QString() << true << false;
    QTest::newRow("a failing existence test shows the message")
        << QByteArray("folder tool probe-fails") << QString() << true << true;
    QTest::newRow("a failing start shows the message")
        << QByteArray("path start-fails") << QString() << true << false;
}

void SysInfoTest::startSysInfo()
{
    QFETCH(QByteArray, setup);
    QFETCH(QString, started);
    QFETCH(bool, message);
    QFETCH(bool, folderConsulted);
    const QList<QByteArray> words = setup.split(' ');

    FakeRegistry registry;
    FakeFileProbe files;
    FakeStarter starter;
    starter.programs = {QStringLiteral("C:\\Tools\\msinfo32.exe"),
                        QStringLiteral("C:\\Info\\MSINFO32.EXE")};
    if (words.contains("path"))
        registry.setText(PathKey, PathValue, QStringLiteral("C:\\Tools\\msinfo32.exe"));
    if (words.contains("path-missing"))
        registry.setText(PathKey, PathValue, QStringLiteral("C:\\Gone\\msinfo32.exe"));
    if (words.contains("path-huge"))
        registry.setValue(PathKey, PathValue, registry::RegSz, QByteArray(2000, 'x'));
    if (words.contains("path-empty"))
        registry.setValue(PathKey, PathValue, registry::RegSz, QByteArray());
    if (words.contains("path-binary"))
        registry.setValue(PathKey, PathValue, registry::RegBinary, QByteArray("C:\\Tools"));
    if (words.contains("path-dword"))
        registry.setValue(PathKey, PathValue, registry::RegDword, QByteArray::fromHex("01000000"));
    if (words.contains("folder"))
        registry.setText(FolderKey, FolderValue, QStringLiteral("C:\\Info"));
    if (words.contains("tool"))
        files.files.insert(QStringLiteral("C:\\Info\\MSINFO32.EXE"));
    files.fail = words.contains("probe-fails");
    starter.fail = words.contains("start-fails");

    QStringList messages;
    StartSysInfo({registry, files, starter}, [&](const QString& text) { messages << text; });

    QCOMPARE(starter.started, started.isEmpty() ? QStringList() : QStringList{started});
    QCOMPARE(messages, message ? QStringList{Unavailable} : QStringList());
    QCOMPARE(registry.opened(FolderKey), folderConsulted);
    QVERIFY2(registry.openKeys.isEmpty(), "a key was left open");
    // The path read from the first location is started as it is, without an existence test.
    if (!folderConsulted)
        QVERIFY(files.asked.isEmpty());
}

void SysInfoTest::pathNamingAMissingFileShowsTheMessage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeRegistry registry;
    registry.setText(PathKey, PathValue, dir.filePath(QStringLiteral("no-such-tool")));
    registry.setText(FolderKey, FolderValue, dir.path());
    FakeFileProbe files;
    files.files.insert(dir.path() + QString::fromLatin1(ToolFileName));
    DetachedStarter starter;

    QStringList messages;
    StartSysInfo({registry, files, starter}, [&](const QString& text) { messages << text; });

    QCOMPARE(messages, QStringList{Unavailable});
    QVERIFY(!registry.opened(FolderKey));
}

void SysInfoTest::toolSearch_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QStringList>("notExecutable");
    QTest::addColumn<QString>("expected");

    const QStringList tools = systemInformationTools();
    QVERIFY(tools.size() >= 2);
    QTest::newRow("nothing installed") << QStringList() << QStringList() << QString();
    QTest::newRow("the first tool of the list is preferred")
        << QStringList{tools.last(), tools.first()} << QStringList() << tools.first();
    QTest::newRow("a later tool when the first is missing")
        << QStringList{tools.last()} << QStringList() << tools.last();
    QTest::newRow("a file that cannot run is no tool")
        << QStringList{tools.last()} << QStringList{tools.first()} << tools.last();
}

void SysInfoTest::toolSearch()
{
    QFETCH(QStringList, installed);
    QFETCH(QStringList, notExecutable);
    QFETCH(QString, expected);

    QTemporaryDir first;
    QTemporaryDir second;
    QVERIFY(first.isValid() && second.isValid());
    // Tools spread over two search directories: the order of the list decides, not the PATH.
    for (qsizetype i = 0; i < installed.size(); ++i)
        QVERIFY(!writeTool(i % 2 ? first.path() : second.path(), installed[i]).isEmpty());
    for (const QString& name : notExecutable) {
        QFile file(first.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    ToolSearchRegistry registry({first.path(), second.path()});
    QString path;
    QCOMPARE(GetKeyValue(registry, registry::LocalMachine, PathKey, PathValue, path),
             !expected.isEmpty());
    QCOMPARE(QFileInfo(path).fileName(), expected);
    if (!expected.isEmpty())
        QVERIFY(QFileInfo(path).isAbsolute());
}

void SysInfoTest::toolSearchHasNothingElse()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(!writeTool(dir.path(), systemInformationTools().first()).isEmpty());
    ToolSearchRegistry registry({dir.path()});

    QString value = QStringLiteral("before");
    QVERIFY(!GetKeyValue(registry, registry::LocalMachine, FolderKey, FolderValue, value));
    QCOMPARE(value, QString());
    QVERIFY(!GetKeyValue(registry, registry::LocalMachine, PathKey, FolderValue, value));
    QVERIFY(!GetKeyValue(registry, 0x80000001, PathKey, PathValue, value));
    // Registry names ignore case.
    QVERIFY(GetKeyValue(registry, registry::LocalMachine, PathKey.toLower(), PathValue.toLower(),
                        value));
}

void SysInfoTest::foundToolReallyStarts()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString tool = writeTool(dir.path(), systemInformationTools().last());
    QVERIFY(!tool.isEmpty());
    ToolSearchRegistry registry({dir.path()});
    LocalFileProbe files;
    DetachedStarter starter;

    QStringList messages;
    StartSysInfo({registry, files, starter}, [&](const QString& text) { messages << text; });

    QCOMPARE(messages, QStringList());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tool + QStringLiteral(".started")), 10000);
}

void SysInfoTest::texts_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");

    QTest::newRow("this build's numbers") << 1 << 0 << 1 << QStringLiteral("Version 1.0.1");
    QTest::newRow("numbers are not padded") << 2 << 10 << 15 << QStringLiteral("Version 2.10.15");
}

void SysInfoTest::texts()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(versionLine(major, minor, revision), expected);
    QCOMPARE(aboutCaption(QStringLiteral("Kestrova")), QStringLiteral("About Kestrova"));
}

QTEST_GUILESS_MAIN(SysInfoTest)
#include "SysInfoTest.moc"
