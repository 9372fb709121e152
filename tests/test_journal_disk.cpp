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

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

bool makeReadOnly(const QByteArray& folder)
{
    return mount(folder, folder, nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, folder, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// Fills the disk, the end a byte at a time so that not even one byte is free.
bool fill(QFile& filler)
{
    const QByteArray block(1024, 'x');
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    while (filler.write(block) == block.size()) {
    }
    while (filler.write("x", 1) == 1) {
    }
    return true;
}

} // namespace

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
        const QDateTime night = QDateTime::fromString("2020-12-07T21:00:00Z", Qt::ISODate);
        const QString file = nightFilePath(dir.path(), nightOf(night));
        const auto row = [&night](int exposure, int detailSize = 0) {
            JournalRow open;
            open.utc = night;
            open.event = JournalEvent::Open;
            open.sequence = 1;
            open.exposure = exposure;
            open.detail.fill(QLatin1Char('d'), detailSize);
            return open;
        };
        {
            JournalWriter before(dir.path());
            QVERIFY(!before.append(row(1)));
        }
        const QByteArray written = fileBytes(file);
        QFile filler(dir.filePath("filler"));
        QVERIFY(full ? fill(filler) : makeReadOnly(folder));
        JournalWriter writer(dir.path());
        QSignalSpy told(&writer, &JournalWriter::unwritable);

        QCOMPARE(writer.beginSequence(night), 2); // the file is still read
        // Longer than the room left in the file's last page: a short write, not a refusal.
        const std::optional<JournalFailure> failure = writer.append(row(2, 6000));
        QVERIFY(failure);
        QCOMPARE(failure->path, file);
        QCOMPARE(failure->reason, qt_error_string(error));
        QVERIFY2(failure->text.startsWith("The night journal could not be written to " + file +
                                          ": " + failure->reason +
                                          ". The sequence goes on without a journal"),
                 qPrintable(failure->text));
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0][0].toString(), failure->text);
        QVERIFY(writer.append(row(3, 6000)));
        QCOMPARE(told.size(), 1); // once a night
        QCOMPARE(fileBytes(file), written);

        FakeDesktop desktop;
        ControllerRig rig;
        rig.make().setDesktop(desktop, desktop);
        rig.controller->setJournal(writer);
        rig.controller->load();
        rig.driven();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^The night journal could not be "));
        rig.play("2,2,1 run"); // tonight: a new night, told again
        QCOMPARE(rig.driven(), (QStringList{"clr 888 1", "set 888 1", "clr 888 1", "set 888 1"}));
        QCOMPARE(rig.readouts(), "00:00:00 0 2");
        QVERIFY(rig.messages.isEmpty());
        QCOMPARE(desktop.notifications.filter("The night journal could not be written").size(), 1);
        QCOMPARE(desktop.notifications.size(), 2); // and "Sequence complete"

        QVERIFY(full ? filler.remove() : umount2(folder, MNT_DETACH) == 0);
        QVERIFY(!writer.append(row(4)));
        QCOMPARE(fileBytes(file), written + row(4).toCsvLine());
        QCOMPARE(told.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestJournalDisk)
#include "test_journal_disk.moc"
