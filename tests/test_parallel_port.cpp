// SPDX-License-Identifier: GPL-3.0-or-later
// The parallel port adapter on a fake of libieee1284 defined below: a program's own definitions
// of the library's functions take the place of the shared library's, so the real adapter runs
// against the fake and no port hardware is ever touched.
#include "fakes/NoRawIo.h"
#include "shutter/Ieee1284Port.h"
#include "shutter/LineFailure.h"

#include <QtTest>

#include <deque>
#include <ieee1284.h>
#include <vector>

using namespace kestrova;

namespace {

struct FakePort {
    QByteArray file;
    parport port{};
    int data = 0; // the data register; below zero when it does not read back
    bool opened = false;
    bool claimed = false;
};

// The ports the fake library lists, and the calls made to it as "open /dev/parport0",
// "write /dev/parport0 a7"... A call out of order (a write to a port not claimed) is a misuse.
struct FakeLibrary {
    int findResult = E1284_OK;
    int claimResult = E1284_OK;
    std::deque<FakePort> ports;
    std::vector<parport*> listed;
    QStringList calls;
    QStringList misuses;

    void add(const QByteArray& file, unsigned long address, int data = 0)
    {
        FakePort& fake = ports.emplace_back();
        fake.file = file;
        fake.port.name = fake.port.filename = fake.file.constData();
        fake.port.base_addr = address;
        fake.data = data;
    }
    // A port the fake never listed means the adapter reached past it: stop at once.
    FakePort& of(const parport* port, const char* call)
    {
        for (FakePort& fake : ports)
            if (&fake.port == port)
                return fake;
        qFatal("%s: a port the fake library never listed", call);
    }
    void record(const char* call, const FakePort& port, bool inOrder, const QString& value = {})
    {
        QString entry = QStringLiteral("%1 %2").arg(QLatin1String(call), QLatin1String(port.file));
        if (!value.isEmpty())
            entry += QLatin1Char(' ') + value;
        calls << entry;
        if (!inOrder)
            misuses << entry;
    }
};

FakeLibrary fake;

// The device check of the adapter, recorded with the library's calls.
QString checkedDevice(const char* fileName, const QString& problem)
{
    fake.calls << QStringLiteral("check %1").arg(QLatin1String(fileName));
    return problem;
}

} // namespace

extern "C" {

int ieee1284_find_ports(parport_list* list, int)
{
    fake.calls << QStringLiteral("find");
    if (fake.findResult != E1284_OK)
        return fake.findResult;
    fake.listed.clear();
    for (FakePort& port : fake.ports)
        fake.listed.push_back(&port.port);
    list->portc = static_cast<int>(fake.listed.size());
    list->portv = fake.listed.data();
    return E1284_OK;
}

void ieee1284_free_ports(parport_list* list)
{
    fake.calls << QStringLiteral("free");
    if (list->portv != fake.listed.data())
        fake.misuses << QStringLiteral("free of a list the fake library never filled");
}

int ieee1284_open(parport* port, int, int* capabilities)
{
    FakePort& fake = ::fake.of(port, "open");
    ::fake.record("open", fake, !fake.opened);
    fake.opened = true;
    *capabilities = 0;
    return E1284_OK;
}

int ieee1284_close(parport* port)
{
    FakePort& fake = ::fake.of(port, "close");
    ::fake.record("close", fake, fake.opened && !fake.claimed);
    fake.opened = false;
    return E1284_OK;
}

int ieee1284_claim(parport* port)
{
    FakePort& fake = ::fake.of(port, "claim");
    ::fake.record("claim", fake, fake.opened && !fake.claimed);
    fake.claimed = ::fake.claimResult == E1284_OK;
    return ::fake.claimResult;
}

void ieee1284_release(parport* port)
{
    FakePort& fake = ::fake.of(port, "release");
    ::fake.record("release", fake, fake.claimed);
    fake.claimed = false;
}

int ieee1284_read_data(parport* port)
{
    FakePort& fake = ::fake.of(port, "read");
    if (!fake.claimed)
        ::fake.misuses << QStringLiteral("read of a port not claimed");
    return fake.data >= 0 ? fake.data : E1284_NOTAVAIL;
}

void ieee1284_write_data(parport* port, unsigned char data)
{
    FakePort& fake = ::fake.of(port, "write");
    ::fake.record("write", fake, fake.claimed,
                  QStringLiteral("%1").arg(data, 2, 16, QLatin1Char('0')));
    fake.data = data;
}

} // extern "C"

class TestParallelPort : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { test::dropRawIo(); }
    void init() { fake = FakeLibrary(); }
    void cleanup() { QVERIFY2(fake.misuses.isEmpty(), qPrintable(fake.misuses.join(u", "))); }
    void keepsTheOtherSevenBits_data();
    void keepsTheOtherSevenBits();
    void opensOnlyAUsablePort_data();
    void opensOnlyAUsablePort();
};

void TestParallelPort::keepsTheOtherSevenBits_data()
{
    QTest::addColumn<int>("registerAtOpen");
    QTest::addColumn<QStringList>("writes");
    // Set D1, clear D0, set D7, clear D5.
    QTest::newRow("the register reads back") << 0xA5 << QStringList{"a7", "a6", "a6", "86"};
    QTest::newRow("the register does not read back: from zero")
        << -1 << QStringList{"02", "02", "82", "82"};
}

void TestParallelPort::keepsTheOtherSevenBits()
{
    QFETCH(int, registerAtOpen);
    QFETCH(QStringList, writes);
    fake.add("/dev/parport0", 0x378, registerAtOpen);
    Ieee1284Port port([](const char* fileName) { return checkedDevice(fileName, QString()); });
    try {
        port.setPortBit(0x378, 1);
        port.clrPortBit(0x378, 0);
        port.setPortBit(0x378, 7);
        port.clrPortBit(0x378, 5);
    } catch (const LineFailure& failure) {
        QFAIL(qPrintable(failure.detail()));
    }
    QStringList written;
    for (const QString& call : std::as_const(fake.calls))
        if (call.startsWith(QLatin1String("write /dev/parport0 ")))
            written << call.section(u' ', 2);
    QCOMPARE(written, writes);
}

void TestParallelPort::opensOnlyAUsablePort_data()
{
    QTest::addColumn<int>("findResult");
    QTest::addColumn<QByteArray>("fileAt0x378");
    QTest::addColumn<QString>("deviceProblem");
    QTest::addColumn<int>("claimResult");
    QTest::addColumn<QList<int>>("addresses"); // D1 is set at each in turn
    QTest::addColumn<QString>("reason");       // empty: no failure
    QTest::addColumn<QString>("calls");

    const QString file = QStringLiteral("/dev/parport0");
    const QString notPpdev = messages::notPpdev(file);
    QTest::newRow("a port at each address: the first released and closed for the second")
        << int(E1284_OK) << QByteArray("/dev/parport0") << QString() << int(E1284_OK)
        << QList<int>{0x378, 0x278} << QString()
        << QStringLiteral("find, check /dev/parport0, open /dev/parport0, claim /dev/parport0, "
                          "write /dev/parport0 02, release /dev/parport0, close /dev/parport0, "
                          "check /dev/parport1, open /dev/parport1, claim /dev/parport1, "
                          "write /dev/parport1 02, release /dev/parport1, close /dev/parport1, "
                          "free");
    QTest::newRow("the list cannot be read")
        << int(E1284_SYS) << QByteArray("/dev/parport0") << QString() << int(E1284_OK)
        << QList<int>{0x378} << QString::fromLatin1(messages::ParallelPortListUnreadable)
        << QStringLiteral("find");
    // libieee1284 lists ports it guesses for raw I/O, with no ppdev device file.
    QTest::newRow("a port listed only for raw I/O is not used")
        << int(E1284_OK) << QByteArray("/dev/port") << QString() << int(E1284_OK)
        << QList<int>{0x378} << QString::fromLatin1(messages::NoParallelPortAtAddress)
        << QStringLiteral("find, free");
    QTest::newRow("a device file that is not ppdev: the library never asked to open it")
        << int(E1284_OK) << QByteArray("/dev/parport0") << notPpdev << int(E1284_OK)
        << QList<int>{0x378} << notPpdev << QStringLiteral("find, check /dev/parport0, free");
    QTest::newRow("a port claimed by another program is closed again")
        << int(E1284_OK) << QByteArray("/dev/parport0") << QString() << int(E1284_SYS)
        << QList<int>{0x378} << messages::parallelPortInUse(file)
        << QStringLiteral("find, check /dev/parport0, open /dev/parport0, claim /dev/parport0, "
                          "close /dev/parport0, free");
}

void TestParallelPort::opensOnlyAUsablePort()
{
    QFETCH(int, findResult);
    QFETCH(QByteArray, fileAt0x378);
    QFETCH(QString, deviceProblem);
    QFETCH(int, claimResult);
    QFETCH(QList<int>, addresses);
    QFETCH(QString, reason);
    QFETCH(QString, calls);
    fake.findResult = findResult;
    fake.claimResult = claimResult;
    fake.add(fileAt0x378, 0x378);
    fake.add("/dev/parport1", 0x278);
    {
        Ieee1284Port port(
            [&](const char* fileName) { return checkedDevice(fileName, deviceProblem); });
        QString detail;
        for (int address : std::as_const(addresses)) {
            try {
                port.setPortBit(address, 1);
            } catch (const LineFailure& failure) {
                QCOMPARE(failure.text(),
                         messages::parallelPortNotAvailable(QStringLiteral("LPT1 (0x378)")));
                detail = failure.detail();
            }
        }
        QCOMPARE(detail, reason.isEmpty()
                             ? QString()
                             : reason + QLatin1Char(' ') + QLatin1String(messages::PpdevAdvice));
    }
    QCOMPARE(fake.calls.join(u", "),
             calls); // the adapter gone: what it held is released, closed and freed
}

QTEST_GUILESS_MAIN(TestParallelPort)
#include "test_parallel_port.moc"
