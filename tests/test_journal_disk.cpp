// SPDX-License-Identifier: GPL-3.0-or-later
// The journal on a disk that refuses it: a read-only folder and a full one. Each mounts over a
// folder of its own in a private mount namespace, which changes the whole process: these tests
// have this program to themselves. They need root, as the mounts do.
#include "fakes/FakeDesktop.h"
#include "journal/JournalFiles.h"
#include "journal/JournalWriter.h"
#include "support/ControllerRig.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;

class TestJournalDisk : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("the read-only and full folders are mounts, which need root");
        QVERIFY(unshare(CLONE_NEWNS) == 0 &&
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
    }

    // Rows refused by the folder: each append says so with the file and the system's reason, the
    // user is told once per night, nothing of a refused row is in the file (on the full disk the
    // write begins and runs out of room half-way), and once the disk takes rows again the next
    // row follows the earlier ones. A sequence meanwhile runs exactly as with a journal: the same
    // edges and read-outs, the user told once, on standard error and by a notification, without
    // a message box that would wait for a click.
    void refusingFolder_data()
    {
        QTest::addColumn<bool>("full");
        QTest::addColumn<int>("error");
        QTest::newRow("read-only") << false << EROFS;
        QTest::newRow("full") << true << ENOSPC;
    }
    void refusingFolder()
    {
        QFETCH(bool, full);
        QFETCH(int, error);
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        QVERIFY(!full || mount("kestrova-test", folder, "tmpfs", 0, "size=16k,mode=0700") == 0);
        const auto unmount = qScopeGuard([&] { umount2(folder, MNT_DETACH); });
        JournalRow row;
        row.utc = QDateTime::fromString("2020-12-07T21:00:00Z", Qt::ISODate);
        row.event = JournalEvent::Open;
        row.sequence = 1;
        QVERIFY(!JournalWriter(dir.path()).append(row));
        const QString file = nightFilePath(dir.path(), nightOf(row.utc));
        const auto fileBytes = [&file] {
            QFile read(file);
            return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray("(unreadable)");
        };
        const QByteArray written = fileBytes();
        QFile filler(dir.filePath("filler"));
        if (full) { // to the last byte
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(1024, 'x')) == 1024 || filler.write("x", 1) == 1) {
            }
        } else {
            QVERIFY(!mount(folder, folder, nullptr, MS_BIND, nullptr) &&
                    !mount(nullptr, folder, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr));
        }
        JournalWriter writer(dir.path());
        QSignalSpy told(&writer, &JournalWriter::unwritable);

        QCOMPARE(writer.beginSequence(row.utc), 2); // the file is still read
        // Longer than the room left in the file's last page: a short write, not a refusal.
        row.detail.fill(QLatin1Char('d'), 6000);
        const QString failure = writer.append(row).value_or(JournalFailure()).text;
        QVERIFY2(failure.startsWith("The night journal could not be written to " + file + ": " +
                                    qt_error_string(error) +
                                    ". The sequence goes on without a journal"),
                 qPrintable(failure));
        QCOMPARE(told.size(), 1);
        QCOMPARE(fileBytes(), written);

        FakeDesktop desktop;
        ControllerRig rig;
        rig.make().setDesktop(desktop, desktop);
        rig.controller->setJournal(writer);
        rig.controller->load();
        rig.driven();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^The night journal could not be "));
        rig.play("2,2,1 run"); // tonight: a new night, told again, once for all its rows
        QCOMPARE(rig.driven(), (QStringList{"clr 888 1", "set 888 1", "clr 888 1", "set 888 1"}));
        QCOMPARE(rig.readouts(), "00:00:00 0 2");
        QVERIFY(rig.messages.isEmpty());
        QCOMPARE(desktop.notifications.filter("The night journal could not be written").size(), 1);
        QCOMPARE(desktop.notifications.size(), 2); // and "Sequence complete"

        QVERIFY(full ? filler.remove() : umount2(folder, MNT_DETACH) == 0);
        row.detail.clear();
        QVERIFY(!writer.append(row));
        QCOMPARE(fileBytes(), written + row.toCsvLine());
        QCOMPARE(told.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestJournalDisk)
#include "test_journal_disk.moc"
