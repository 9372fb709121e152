// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/SettingsStore.h"

#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrova;

namespace {
// Makes a folder read-only for this process, or writable again, even for root: root ignores file
// modes, so it binds the folder read-only in a private mount namespace.
bool setReadOnly(const QString& folder, bool readOnly)
{
    const QByteArray path = QFile::encodeName(folder);
    if (geteuid() != 0)
        return chmod(path.constData(), readOnly ? 0555 : 0755) == 0;
    if (!readOnly)
        return umount2(path.constData(), MNT_DETACH) == 0;
    static const bool ownNamespace =
        unshare(CLONE_NEWNS) == 0 &&
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ownNamespace &&
           mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) ==
               0;
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    // The readable values of a garbage file are kept, and saves reach the file at once, texts as
    // saved. A refused save names the file and leaves it as it was; once the folder is writable
    // again, a save is judged by whether it reached the disk now, and the values refused before,
    // which the store kept, reach it too.
    void readOnlyFolderKeepsWhatWasSavedAndRecovers()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Kestrova.conf"));
        QFile raw(file);
        QVERIFY(raw.open(QIODevice::WriteOnly));
        raw.write("\x01\x02garbage ][ = =\n[Parallel%20Options]\nPortBit=5\n\xff\xfe\n[broken\n");
        raw.close();
        QSettingsStore store(file);
        // QSettings instances on one file share what is not yet written: look at the file itself.
        const auto onDisk = [&](const char* line) {
            QFile written(file);
            return written.open(QIODevice::ReadOnly) && written.readAll().contains(line);
        };
        QCOMPARE(store.read(settings::ParallelPortBit), QStringLiteral("5"));
        QCOMPARE(store.read(settings::SerialActiveLogic), QStringLiteral("1")); // absent: default
        QVERIFY2(store.save(settings::SerialControlLine, QStringLiteral(" 1 ")),
                 qPrintable(store.failureText()));
        QCOMPARE(QSettingsStore(file).read(settings::SerialControlLine), QStringLiteral(" 1 "));
        QVERIFY(onDisk("Control%20Line=\" 1 \"") && onDisk("PortBit=5"));

        if (!setReadOnly(dir.path(), true))
            QSKIP("cannot make a folder read-only here");
        QVERIFY(!store.save(settings::ParallelPortBit, QStringLiteral("2")));
        QVERIFY2(store.failureText().contains(file), qPrintable(store.failureText()));
        QVERIFY(!store.save(settings::SerialPortIndex, QStringLiteral("2")));
        QVERIFY(setReadOnly(dir.path(), false));
        QVERIFY(onDisk("PortBit=5"));

        QVERIFY2(store.save(settings::SerialActiveLogic, QStringLiteral("0")),
                 qPrintable(store.failureText()));
        QVERIFY(store.failureText().isEmpty());
        QVERIFY(onDisk("ActiveLogic=0") && onDisk("PortBit=2") && onDisk("PortIndex=2"));
    }

    void defaultStoreLivesInTheUserConfigFolder()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCOMPARE(QSettingsStore().fileName(),
                 QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                     QStringLiteral("/Kestrova/Kestrova.conf"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settings_store.moc"
