// SPDX-License-Identifier: GPL-3.0-or-later
// One program at a time on a port. "--hold FOLDER KEY" makes this program another Kestrova that
// holds KEY's lock until its standard input closes.
#include "support/PseudoTerminal.h"
#include "system/PortLockMessages.h"
#include "system/PortLocks.h"

#include <QtTest>

#include <cstdio>

using namespace kestrova;
using namespace kestrova::test;

namespace {

int holdLock(const QString& folder, const QString& key)
{
    PortLocks locks(folder);
    if (locks.acquire(key).outcome != PortLockOutcome::Acquired)
        return 1;
    std::puts("held");
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    return 0;
}

bool startHolder(QProcess& holder, const QString& folder, const QString& key)
{
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), folder, key});
    while (holder.waitForReadyRead(30000))
        if (holder.readAll().contains("held"))
            return true;
    return false;
}

} // namespace

class TestPortLocks : public QObject {
    Q_OBJECT
private slots:
    // A port held by another Kestrova is refused, naming it, until that one releases it or ends;
    // a killed holder must not keep the next one from the port.
    void heldByAnotherKestrova_data()
    {
        QTest::addColumn<bool>("holderKilled");
        QTest::newRow("holder running: refused, then taken once released") << false;
        QTest::newRow("holder killed: its lock is taken over") << true;
    }
    void heldByAnotherKestrova()
    {
        QFETCH(bool, holderKilled);
        const QTemporaryDir folder;
        const PseudoTerminal port;
        const QString key = PortLocks::serialPortKey(port.path());
        QProcess holder;
        QVERIFY(startHolder(holder, folder.path(), key));
        const qint64 pid = holder.processId();
        PortLocks locks(folder.path());
        if (holderKilled) {
            holder.kill();
            QVERIFY(holder.waitForFinished(30000));
            QCOMPARE(locks.acquire(key).outcome, PortLockOutcome::Acquired);
            return;
        }

        const PortLockResult refused = locks.acquire(key);
        QCOMPARE(refused.outcome, PortLockOutcome::Refused);
        QCOMPARE(refused.holder.pid, pid);
        QCOMPARE(refused.holder.program,
                 QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QVERIFY(!locks.holds(key));
        const QString message =
            messages::portDrivenByAnother("Com1 (" + port.path() + ")", refused.holder);
        QVERIFY2(message.contains(QStringLiteral("process %1").arg(pid)) &&
                     message.contains("Com1 (" + port.path() + ")"),
                 qPrintable(message));

        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));
        QCOMPARE(locks.acquire(key).outcome, PortLockOutcome::Acquired);
    }

    // Keys name physical ports: a link to a device is that device, two devices or two addresses
    // are two ports. Every lock goes with its holder.
    void keysNamePhysicalPorts()
    {
        const QTemporaryDir folder, byId;
        const PseudoTerminal first, second;
        const QString link = byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART-if00-port0"));
        QVERIFY(QFile::link(first.path(), link));
        const QString firstKey = PortLocks::serialPortKey(first.path());
        {
            PortLocks one(folder.path()), other(folder.path());
            QCOMPARE(one.acquire(firstKey).outcome, PortLockOutcome::Acquired);
            QCOMPARE(one.acquire(PortLocks::parallelPortKey(0x378)).outcome,
                     PortLockOutcome::Acquired);
            QCOMPARE(other.acquire(PortLocks::serialPortKey(second.path())).outcome,
                     PortLockOutcome::Acquired);
            QCOMPARE(other.acquire(PortLocks::parallelPortKey(0x278)).outcome,
                     PortLockOutcome::Acquired);
            const PortLockResult throughLink = other.acquire(PortLocks::serialPortKey(link));
            QCOMPARE(throughLink.outcome, PortLockOutcome::Refused);
            QCOMPARE(throughLink.holder.pid, QCoreApplication::applicationPid());
            QCOMPARE(other.acquire(PortLocks::parallelPortKey(0x378)).outcome,
                     PortLockOutcome::Refused);
            one.release(firstKey);
            QCOMPARE(other.acquire(PortLocks::serialPortKey(link)).outcome,
                     PortLockOutcome::Acquired);
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{}); // all released
    }

    // Without a folder for its locks, Kestrova cannot tell whether the port is free, and says so.
    void lockFolderUnusable()
    {
        const QTemporaryDir folder;
        QFile file(folder.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        PortLocks locks(file.fileName() + QStringLiteral("/locks"));
        const PortLockResult result = locks.acquire(PortLocks::parallelPortKey(0x378));
        QCOMPARE(result.outcome, PortLockOutcome::Unavailable);
        QVERIFY2(result.problem.contains(locks.folder()), qPrintable(result.problem));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--hold") == 0)
        return holdLock(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestPortLocks test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_port_locks.moc"
