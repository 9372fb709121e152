// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "config/ComPorts.h"
#include "fakes/FakePorts.h"
#include "fakes/FakeSequencer.h"
#include "fakes/FakeSerialPorts.h"
#include "fakes/MemoryStore.h"
#include "fakes/MessageRecorder.h"
#include "fakes/NoRawIo.h"
#include "shutter/Ieee1284Port.h"
#include "shutter/QtSerialLine.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <termios.h>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;

namespace {

// The main window with the real serial adapter, whose Com1 is a pseudo-terminal (or nothing),
// and its timer ticked by hand.
struct Rig : MessageRecorder {
    MemoryStore store;
    FakeParallelPort parallel;
    int primary = posix_openpt(O_RDWR | O_NOCTTY);
    QString device;
    QtSerialLine serial{[this](int) { return device; }};
    FakeTickSource* ticks = new FakeTickSource;
    QPointer<MainWindow> window;

    Rig()
    {
        if (primary >= 0 && grantpt(primary) == 0 && unlockpt(primary) == 0)
            device = QString::fromLocal8Bit(ptsname(primary));
    }
    ~Rig()
    {
        delete window;
        if (primary >= 0)
            ::close(primary);
    }
    void open()
    {
        window = new MainWindow(store, parallel, serial, nullptr, ticks);
        window->show();
    }
    template <typename T> T* find(const char* name)
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    void start(const char* count, const char* exposure, const char* delay)
    {
        find<QLineEdit>("txtNumExposures")->setText(QLatin1String(count));
        find<QLineEdit>("txtLXTime")->setText(QLatin1String(exposure));
        find<QLineEdit>("txtDelay")->setText(QLatin1String(delay));
        QTest::mouseClick(find<QPushButton>("cmdStart"), Qt::LeftButton);
    }
    bool idle() { return find<QPushButton>("cmdStart")->isEnabled() && !ticks->isEnabled(); }

    // The hang-up on close flag as the device holds it ("HUPCL set" or "HUPCL clear"), seen
    // and, when asked, first set through a descriptor of the test's own.
    QString hangupOnClose(std::optional<bool> set = std::nullopt) const
    {
        const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios settings = {};
        if (fd < 0 || tcgetattr(fd, &settings) != 0) {
            const QString reason = QString::fromLocal8Bit(strerror(errno));
            if (fd >= 0)
                ::close(fd);
            return QStringLiteral("unreadable: ") + reason;
        }
        if (set) {
            settings.c_cflag = *set ? settings.c_cflag | HUPCL : settings.c_cflag & ~HUPCL;
            tcsetattr(fd, TCSANOW, &settings);
            tcgetattr(fd, &settings);
        }
        ::close(fd);
        return QLatin1String(settings.c_cflag & HUPCL ? "HUPCL set" : "HUPCL clear");
    }
};

} // namespace

class TestPortFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { dropRawIo(); }
    void lineWithoutModemControlStopsStartWithOneMessage();
    void terminalGoneInTheMiddleOfAnExposure();
    void missingParallelPortAtStartUp();
    void adapterPluggedBackKeepsItsComNumber();
    void releaseLeavesTheLineClosed_data();
    void releaseLeavesTheLineClosed();
};

void TestPortFaults::lineWithoutModemControlStopsStartWithOneMessage()
{
    Rig rig;
    QVERIFY(!rig.device.isEmpty());
    rig.store.set(settings::SerialControl, QStringLiteral("1"));
    rig.open();
    // Load opened the port and tried to close the line: a pseudo-terminal has no RTS.
    QTRY_COMPARE(rig.messages.size(), 1);
    QVERIFY(rig.serial.isOpen());

    rig.start("2", "3", "1");
    QCOMPARE(rig.messages.size(), 2);
    QCOMPARE(rig.messages[1].text, QStringLiteral("The Com port selected is not available"));
    QVERIFY2(rig.messages[1].informativeText.contains(rig.device),
             qPrintable(rig.messages[1].informativeText));
    QVERIFY(rig.idle());
    QVERIFY(!rig.find<QPushButton>("cmdCancel")->isEnabled());
    QVERIFY(!rig.ticks->fire());
    QCOMPARE(rig.messages.size(), 2);
}

void TestPortFaults::terminalGoneInTheMiddleOfAnExposure()
{
    Rig rig;
    rig.open();
    rig.start("2", "3", "1");
    QVERIFY(rig.ticks->fire());
    QVERIFY(rig.ticks->isEnabled());

    // Mid-exposure the user selects the serial interface; then its other end goes away.
    rig.find<QAction>("mnuSerial")->trigger();
    QVERIFY(rig.serial.isOpen());
    ::close(rig.primary);
    rig.primary = -1;
    const qsizetype before = rig.messages.size();
    rig.ticks->fire();
    rig.ticks->fire(); // the exposure ends: the closing switch fails
    QCOMPARE(rig.messages.size(), before + 1);
    QCOMPARE(rig.messages.last().text, QStringLiteral("The Com port selected is not available"));
    QVERIFY(rig.idle());

    // The program goes on: choosing the interface again reports the vanished device once.
    rig.find<QAction>("mnuSerial")->trigger();
    QCOMPARE(rig.messages.size(), before + 2);
    QVERIFY(!rig.serial.isOpen());
    QVERIFY(rig.window->isVisible());
}

void TestPortFaults::missingParallelPortAtStartUp()
{
    if (hasParallelPort())
        QSKIP("this machine has a parallel port, which no test may write to");
    MemoryStore store;
    Ieee1284Port parallel;
    FakeSerialLine serial;
    MessageRecorder recorder;
    QList<ui::Message>& messages = recorder.messages;
    QPointer<MainWindow> window =
        new MainWindow(store, parallel, serial, nullptr, new FakeTickSource);
    window->show();
    QTRY_COMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, QStringLiteral("The parallel port LPT1 (0x378) is not available"));
    window->findChild<QLineEdit*>(QStringLiteral("txtNumExposures"))->setText(QStringLiteral("1"));
    window->findChild<QLineEdit*>(QStringLiteral("txtLXTime"))->setText(QStringLiteral("5"));
    window->findChild<QLineEdit*>(QStringLiteral("txtDelay"))->setText(QStringLiteral("1"));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);
    QCOMPARE(messages.size(), 2);
    QVERIFY(window->findChild<QPushButton*>(QStringLiteral("cmdStart"))->isEnabled());
    delete window;
}

// An adapter, a pseudo-terminal behind a by-id link, is unplugged and plugged back in another
// socket: the program goes on and opens it again under the Com number it got at start-up.
void TestPortFaults::adapterPluggedBackKeepsItsComNumber()
{
    MemoryStore store;
    store.set(settings::SerialControl, QStringLiteral("1"));
    store.set(settings::ParallelControl, QStringLiteral("0"));
    FakeParallelPort parallel;
    QtSerialLine serial([&store](int number) { return comDevice(store, number); });
    FakeSerialPorts ports;
    const QTemporaryDir byId;
    const QString link =
        byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    const auto plug = [&](int primary) {
        QFile::remove(link);
        SerialPortInfo adapter = FakeSerialPorts::port(QStringLiteral("ftdi@x"));
        adapter.devicePath = QString::fromLocal8Bit(ptsname(primary));
        adapter.stableName = link;
        adapter.otherNames = QStringList{link};
        ports.list = {adapter};
        return QFile::link(adapter.devicePath, link);
    };
    int primary = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(primary >= 0 && grantpt(primary) == 0 && unlockpt(primary) == 0 && plug(primary));

    MessageRecorder recorder;
    QPointer<MainWindow> window =
        new MainWindow(store, parallel, serial, nullptr, new FakeTickSource, &ports);
    window->show();
    QCOMPARE(comDevice(store, 1), link);
    QVERIFY(serial.isOpen());
    QCOMPARE(serial.deviceName(), link);
    QTRY_COMPARE(recorder.messages.size(), 1); // a pseudo-terminal has no RTS to close

    // Unplugged: udev takes the link away. Choosing the interface again is told once.
    ::close(primary);
    QFile::remove(link);
    ports.list.clear();
    window->findChild<QAction*>(QStringLiteral("mnuSerial"))->trigger();
    QCOMPARE(recorder.messages.size(), 2);
    QVERIFY2(recorder.messages[1].informativeText.endsWith(
                 QStringLiteral("No serial port is present now. Plug in the serial adapter, then "
                                "choose Interface, Serial.")),
             qPrintable(recorder.messages[1].informativeText));
    QVERIFY(!serial.isOpen());

    // Plugged back, now another device: the same Com number opens it.
    primary = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(primary >= 0 && grantpt(primary) == 0 && unlockpt(primary) == 0 && plug(primary));
    window->findChild<QAction*>(QStringLiteral("mnuSerial"))->trigger();
    QVERIFY(serial.isOpen());
    QCOMPARE(serial.deviceName(), link);
    QCOMPARE(comDevice(store, 1), link);
    QCOMPARE(comDevice(store, 2), QStringLiteral("/dev/ttyS1"));
    // The new line is closed at once, which a pseudo-terminal refuses as it did at start-up.
    QCOMPARE(recorder.messages.size(), 3);
    QVERIFY(
        recorder.messages[2].informativeText.contains(QStringLiteral("RTS could not be switched")));
    delete window;
    ::close(primary);
}

// Linux drops RTS and DTR at the last close of a port whose hang-up on close flag is set. Where
// "line set" is the shutter-closed level, that drop would open the shutter at every exit and
// every reopen, so the device must hold the flag clear when the port is released; where "line
// clear" is closed, the drop is harmless and the flag stays set. QSerialPort puts back at its
// close the settings it found at its open, so this is what the device keeps afterwards.
// clang-format off
void TestPortFaults::releaseLeavesTheLineClosed_data()
{
    QTest::addColumn<QString>("activeLogic");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("afterRelease");
    QTest::newRow("Active Logic unchecked: line set is closed") << "0" << "HUPCL set" << "HUPCL clear";
    QTest::newRow("Active Logic checked: line clear is closed") << "1" << "HUPCL clear" << "HUPCL set";
}
// clang-format on

void TestPortFaults::releaseLeavesTheLineClosed()
{
    QFETCH(QString, activeLogic);
    QFETCH(QString, before);
    Rig rig;
    QVERIFY(!rig.device.isEmpty());
    QCOMPARE(rig.hangupOnClose(before == QLatin1String("HUPCL set")), before);
    rig.store.set(settings::SerialControl, QStringLiteral("1"));
    rig.store.set(settings::SerialActiveLogic, activeLogic);
    rig.open();
    QVERIFY(rig.serial.isOpen());
    rig.find<QAction>("mnuSerial")->trigger(); // a reopen releases the port first
    QVERIFY(rig.serial.isOpen());
    rig.find<QAction>("mnuExit")->trigger();
    QVERIFY(!rig.serial.isOpen());
    QTEST(rig.hangupOnClose(), "afterRelease");
}

QTEST_MAIN(TestPortFaults)
#include "test_port_faults.moc"
