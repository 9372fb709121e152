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

bool privateMounts()
{
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

JournalRow openRow(const QDateTime& utc, int exposure, const QString& detail = {})
{
    JournalRow row;
    row.utc = utc;
    row.event = JournalEvent::Open;
    row.sequence = 1;
    row.exposure = exposure;
    row.plannedS = 300;
    row.detail = detail;
    return row;
}

} // namespace

class TestJournalDisk : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("the read-only and full folders are mounts, which need root");
        QVERIFY(privateMounts());
    }

    // Rows refused by a read-only folder: each append says so with the file and the system's
    // reason, the user is told once per night, and once the folder is writable again the next row
    // follows the earlier ones.
    void readOnlyFolder()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        const QDateTime night7 = QDateTime::fromString("2026-12-07T21:00:00Z", Qt::ISODate);
        const QString file = nightFilePath(dir.path(), nightOf(night7));
        {
            JournalWriter before(dir.path());
            QVERIFY(!before.append(openRow(night7, 1)));
        }
        const QByteArray written = fileBytes(file);

        QVERIFY(mount(folder, folder, nullptr, MS_BIND, nullptr) == 0);
        QVERIFY(mount(nullptr, folder, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);
        JournalWriter writer(dir.path());
        QSignalSpy told(&writer, &JournalWriter::unwritable);
        QCOMPARE(writer.beginSequence(night7), 2); // still read
        const std::optional<JournalFailure> failure = writer.append(openRow(night7, 2));
        QVERIFY(failure);
        QCOMPARE(failure->path, file);
        QCOMPARE(failure->reason, qt_error_string(EROFS));
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0][0].toString(), failure->text);
        QVERIFY2(failure->text.startsWith("The night journal could not be written to " + file +
                                          ": " + qt_error_string(EROFS) +
                                          ". The sequence goes on without a journal"),
                 qPrintable(failure->text));
        QVERIFY(writer.append(openRow(night7.addSecs(60), 3)));
        QCOMPARE(told.size(), 1); // once a night
        const QDateTime night8 = night7.addDays(1);
        QVERIFY(writer.append(openRow(night8, 1)));
        QCOMPARE(told.size(), 2); // a new night is told again
        QCOMPARE(fileBytes(file), written);

        QVERIFY(umount2(folder, MNT_DETACH) == 0);
        QVERIFY(!writer.append(openRow(night7.addSecs(120), 4)));
        QCOMPARE(fileBytes(file), written + openRow(night7.addSecs(120), 4).toCsvLine());
    }

    // A full disk: the write that runs out of room half-way is taken back whole, the rows before
    // it stay, the user is told once, and the journal goes on when there is room again.
    void fullFolder()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        QVERIFY(mount("kestrova-test", folder, "tmpfs", 0, "size=16k,mode=0700") == 0);
        const auto unmount = qScopeGuard([&] { umount2(folder, MNT_DETACH); });
        const QDateTime night7 = QDateTime::fromString("2026-12-07T21:00:00Z", Qt::ISODate);
        const QString file = nightFilePath(dir.path(), nightOf(night7));
        JournalWriter writer(dir.path());
        QSignalSpy told(&writer, &JournalWriter::unwritable);
        QVERIFY(!writer.append(openRow(night7, 1)));
        QVERIFY(!writer.append(openRow(night7, 2)));
        const QByteArray written = fileBytes(file);

        // Fills what is left, a byte at a time at the end so that not even one byte is free.
        QFile filler(dir.filePath("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("x", 1) == 1) {
        }
        // A row longer than the room left in the file's last page, so the write begins and then
        // runs out of room: a short write, not a refusal.
        const QString longDetail(6000, QLatin1Char('d'));
        std::optional<JournalFailure> failure = writer.append(openRow(night7, 3, longDetail));
        QVERIFY(failure);
        QCOMPARE(failure->reason, qt_error_string(ENOSPC));
        QVERIFY(writer.append(openRow(night7, 4, longDetail)));
        QCOMPARE(told.size(), 1);
        QCOMPARE(fileBytes(file), written);

        filler.close();
        QVERIFY(filler.remove());
        QVERIFY(!writer.append(openRow(night7, 5)));
        QCOMPARE(fileBytes(file), written + openRow(night7, 5).toCsvLine());
        QCOMPARE(told.size(), 1);
    }

    // A night whose journal cannot be written runs exactly as with one: the same edges, the same
    // end and the same read-outs, and the user is told once, on standard error and by a
    // notification, without a message box that would wait for a click.
    void sequenceWithoutAJournal_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("writable: the baseline") << "writable";
        QTest::newRow("read-only") << "read-only";
        QTest::newRow("full") << "full";
    }
    void sequenceWithoutAJournal()
    {
        QFETCH(QString, folder);
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.path());
        if (folder == "read-only") {
            QVERIFY(mount(path, path, nullptr, MS_BIND, nullptr) == 0);
            QVERIFY(mount(nullptr, path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);
        } else if (folder == "full") {
            QVERIFY(mount("kestrova-test", path, "tmpfs", 0, "size=4k,mode=0700") == 0);
            QFile filler(dir.filePath("filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write("x", 1) == 1) {
            }
        }
        const auto unmount = qScopeGuard([&] { umount2(path, MNT_DETACH); });
        JournalWriter writer(dir.path());
        FakeDesktop desktop;
        ControllerRig rig;
        rig.make().setDesktop(desktop, desktop);
        rig.controller->setJournal(writer);
        rig.controller->load();
        rig.driven();
        if (folder != "writable")
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^The night journal could not be written"));
        rig.play("2,2,1 run");
        QCOMPARE(rig.driven(), (QStringList{"clr 888 1", "set 888 1", "clr 888 1", "set 888 1"}));
        QCOMPARE(rig.readouts(), "00:00:00 0 2");
        QVERIFY(rig.messages.isEmpty());
        const QStringList told =
            desktop.notifications.filter("The night journal could not be written");
        QCOMPARE(told.size(), folder == "writable" ? 0 : 1);
        QCOMPARE(desktop.notifications.size(), told.size() + 1); // and "Sequence complete"
        if (folder == "writable")
            QCOMPARE(
                readJournalFile(nightFilePath(dir.path(), nightOf(QDateTime::currentDateTime())))
                    .parsed.rows.size(),
                6);
    }
};

QTEST_GUILESS_MAIN(TestJournalDisk)
#include "test_journal_disk.moc"
