// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/SettingsStore.h"

#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrova;

namespace {
// Makes a folder read-only for this process, even for root: root ignores file modes, so it
// gets a private mount namespace in which the folder is bound read-only.
bool makeReadOnly(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (geteuid() != 0)
        return chmod(path.constData(), 0555) == 0;
    static const bool ownNamespace =
        unshare(CLONE_NEWNS) == 0 &&
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ownNamespace &&
           mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) ==
               0;
}

void makeWritable(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (geteuid() == 0)
        umount2(path.constData(), MNT_DETACH);
    else
        chmod(path.constData(), 0755);
}
} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void savedTextReachesTheFileAtOnce();
    void absentKeyGivesDefault();
    void unwritableFolderIsReported();
    void readOnlyFolderKeepsWhatWasSavedAndRecovers();
    void garbageFileKeepsReadableValuesAndAcceptsSaves();
    void defaultStoreLivesInTheUserConfigFolder();
};

void TestSettingsStore::savedTextReachesTheFileAtOnce()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Kestrova.conf"));
    QSettingsStore store(file);
    QVERIFY(store.save(settings::SerialControlLine, QStringLiteral("1")));
    QVERIFY(store.save(settings::ParallelPortIndex, QStringLiteral("-1")));
    QVERIFY(store.save(settings::ParallelActiveLogic, QStringLiteral(" 0 ")));

    // A second store on the same file sees what is on disk, not a cache of the first one.
    QFile raw(file);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray contents = raw.readAll();
    QVERIFY2(contents.contains("[Serial%20Options]") || contents.contains("[Serial Options]"),
             contents.constData());
    QSettingsStore reread(file);
    QCOMPARE(reread.read(settings::SerialControlLine), QStringLiteral("1"));
    QCOMPARE(reread.read(settings::ParallelPortIndex), QStringLiteral("-1"));
    QCOMPARE(reread.read(settings::ParallelActiveLogic), QStringLiteral(" 0 "));
}

void TestSettingsStore::absentKeyGivesDefault()
{
    QTemporaryDir dir;
    QSettingsStore store(dir.filePath(QStringLiteral("Kestrova.conf")));
    for (const SettingKey& key : settings::All)
        QCOMPARE(store.read(key), QLatin1String(key.defaultText));
}

void TestSettingsStore::unwritableFolderIsReported()
{
    // A folder that cannot be created, even by root: its parent is an ordinary file.
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettingsStore store(dir.filePath(QStringLiteral("blocker/Kestrova/Kestrova.conf")));
    QVERIFY(!store.save(settings::SerialPortIndex, QStringLiteral("3")));
    QVERIFY2(store.failureText().contains(QStringLiteral("blocker/Kestrova/Kestrova.conf")),
             qPrintable(store.failureText()));
}

// A refused write leaves the file as it was; once the folder is writable again, each save is
// judged by whether it reached the disk now, not by the error QSettings met before.
void TestSettingsStore::readOnlyFolderKeepsWhatWasSavedAndRecovers()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Kestrova.conf"));
    {
        QSettingsStore store(file);
        QVERIFY(store.save(settings::ParallelPortBit, QStringLiteral("6")));
    }
    if (!makeReadOnly(dir.path()))
        QSKIP("cannot make a folder read-only here");
    QSettingsStore store(file);
    QVERIFY(!store.save(settings::ParallelPortBit, QStringLiteral("2")));
    QVERIFY(!store.failureText().isEmpty());
    QVERIFY(!store.save(settings::SerialPortIndex, QStringLiteral("2")));
    makeWritable(dir.path());

    QFile raw(file);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QByteArray contents = raw.readAll();
    QVERIFY2(contents.contains("PortBit=6"), contents.constData());
    raw.close();

    QVERIFY2(store.save(settings::SerialControlLine, QStringLiteral("1")),
             qPrintable(store.failureText()));
    QVERIFY(store.failureText().isEmpty());
    QVERIFY(store.save(settings::SerialActiveLogic, QStringLiteral("0")));
    // The values refused before were kept and reach the disk with the next save.
    QVERIFY(raw.open(QIODevice::ReadOnly));
    contents = raw.readAll();
    for (const char* line : {"Control%20Line=1", "ActiveLogic=0", "PortBit=2", "PortIndex=2"})
        QVERIFY2(contents.contains(line), contents.constData());
}

void TestSettingsStore::garbageFileKeepsReadableValuesAndAcceptsSaves()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Kestrova.conf"));
    QFile raw(file);
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write("\x01\x02garbage ][ = =\n[Parallel%20Options]\nPortBit=5\n\xff\xfe\n[broken\n");
    raw.close();

    QSettingsStore store(file);
    QCOMPARE(store.read(settings::ParallelPortBit), QStringLiteral("5"));
    QCOMPARE(store.read(settings::SerialActiveLogic), QStringLiteral("1"));
    QVERIFY2(store.save(settings::SerialPortIndex, QStringLiteral("4")),
             qPrintable(store.failureText()));

    QSettingsStore reread(file);
    QCOMPARE(reread.read(settings::SerialPortIndex), QStringLiteral("4"));
    QCOMPARE(reread.read(settings::ParallelPortBit), QStringLiteral("5"));
}

void TestSettingsStore::defaultStoreLivesInTheUserConfigFolder()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettingsStore store;
    const QString expected =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/Kestrova/Kestrova.conf");
    QCOMPARE(store.fileName(), expected);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settings_store.moc"
