// SPDX-License-Identifier: GPL-3.0-or-later
// One program at a time on a port. "--hold FOLDER KEY" makes this program another Kestrova that
// holds KEY's lock until its standard input closes, or until a line "replace" makes its process
// another program.
#include "support/PseudoTerminal.h"
#include "system/PortLocks.h"

#include <QtTest>

#include <cstdio>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;
using Outcome = PortLockOutcome;

class TestPortLocks : public QObject {
    Q_OBJECT
private slots:
    // A port held by another Kestrova is refused, naming its process, until that one ends; a
    // killed holder, or a process id given to another program since, must not keep the next one
    // from the port.
    void heldByAnotherProcess_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("holder releases it") << "release";
        QTest::newRow("holder killed: its lock is taken over") << "kill";
        QTest::newRow("holder's process now another program: its lock is taken over") << "replace";
    }
    void heldByAnotherProcess()
    {
        QFETCH(QString, end);
        const QTemporaryDir folder;
        const PseudoTerminal port;
        const QString key = PortLocks::serialPortKey(port.path());
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {"--hold", folder.path(), key});
        QVERIFY(holder.waitForReadyRead(30000) && holder.readAll().startsWith("held"));
        PortLocks locks(folder.path());
        const PortLockResult refused = locks.acquire(key);
        QCOMPARE(refused.outcome, Outcome::Refused);
        QCOMPARE(refused.holder.pid, holder.processId());
        QCOMPARE(refused.holder.program, qApp->applicationName()); // the executable's name
        if (end == u"replace") {
            holder.write("replace\n");
            QVERIFY(holder.waitForReadyRead(30000) && holder.readAll().startsWith("replaced"));
        } else {
            end == u"kill" ? holder.kill() : holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(30000));
        }
        QCOMPARE(locks.acquire(key).outcome, Outcome::Acquired);
        holder.closeWriteChannel(); // ends the program that took over the process, if any
        holder.waitForFinished(30000);
    }

    // Keys name physical ports: a link to a device is that device, two devices are two ports (two
    // parallel port addresses: test_shutter_line). A released lock is free again, and every lock
    // goes with its holder. Without a folder for its locks, Kestrova cannot tell whether a port is
    // free, and says where.
    void keysNamePhysicalPorts()
    {
        const QTemporaryDir folder, byId;
        const PseudoTerminal first, second;
        const QString link = byId.filePath("usb-FTDI_FT232R_USB_UART-if00-port0");
        QVERIFY(QFile::link(first.path(), link));
        const QString firstKey = PortLocks::serialPortKey(first.path());
        {
            PortLocks one(folder.path()), other(folder.path());
            QCOMPARE(one.acquire(firstKey).outcome, Outcome::Acquired);
            QCOMPARE(other.acquire(PortLocks::serialPortKey(second.path())).outcome,
                     Outcome::Acquired);
            QCOMPARE(other.acquire(PortLocks::serialPortKey(link)).outcome, Outcome::Refused);
            one.release(firstKey);
            QCOMPARE(other.acquire(PortLocks::serialPortKey(link)).outcome, Outcome::Acquired);
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{}); // all released

        PortLocks nowhere(link + "/locks"); // below a device: no folder can be made there
        const PortLockResult result = nowhere.acquire(PortLocks::parallelPortKey(0x378));
        QCOMPARE(result.outcome, Outcome::Unavailable);
        QVERIFY2(result.problem.contains(nowhere.folder()), qPrintable(result.problem));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--hold") == 0) {
        PortLocks locks(QString::fromLocal8Bit(argv[2]));
        if (locks.acquire(QString::fromLocal8Bit(argv[3])).outcome != Outcome::Acquired)
            return 1;
        std::puts("held");
        std::fflush(stdout);
        for (char line[16]; std::fgets(line, sizeof line, stdin);)
            if (qstrcmp(line, "replace\n") == 0)
                execlp("sh", "sh", "-c", "echo replaced; exec cat", nullptr);
        return 0;
    }
    TestPortLocks test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_port_locks.moc"
