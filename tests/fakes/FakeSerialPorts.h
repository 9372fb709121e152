// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/SerialPortEnumerator.h"

#include <QStringList>

namespace kestrova::test {

// Any set of serial ports, as the system would list them.
class FakeSerialPorts : public SerialPortEnumerator {
public:
    QList<SerialPortInfo> ports() const override { return list; }
    // A listed port's names lead to its device file; otherFiles exist as themselves.
    QString resolve(const QString& deviceName) const override
    {
        for (const SerialPortInfo& port : list)
            if (deviceName == port.devicePath || deviceName == port.stableName ||
                port.otherNames.contains(deviceName))
                return port.devicePath;
        return otherFiles.contains(deviceName) ? deviceName : QString();
    }

    // Named by meaning, with the kernel name where it is plugged in now:
    // "ftdi@ttyUSB0", "ch340@ttyUSB1", "acm@ttyACM0" (no by-id name), "S0" (ttyS0 with a UART),
    // "s1" (ttyS1 without one).
    static SerialPortInfo port(const QString& token)
    {
        SerialPortInfo port;
        if (token.startsWith(QLatin1Char('S')) || token.startsWith(QLatin1Char('s'))) {
            port.name = QStringLiteral("ttyS") + token.mid(1);
            port.builtIn = true;
            port.hasUart = token.startsWith(QLatin1Char('S'));
        } else {
            const QString kind = token.section(QLatin1Char('@'), 0, 0);
            port.name = token.section(QLatin1Char('@'), 1);
            port.stableName = stableName(kind);
            port.otherNames =
                port.stableName.isEmpty() ? QStringList() : QStringList{port.stableName};
            if (kind == QLatin1String("ftdi")) {
                port.description = QStringLiteral("FT232R USB UART");
                port.manufacturer = QStringLiteral("FTDI");
                port.serialNumber = QStringLiteral("A50285BI");
                port.vendorId = 0x0403;
                port.productId = 0x6001;
            } else if (kind == QLatin1String("ch340")) {
                port.description = QStringLiteral("USB Serial");
                port.vendorId = 0x1a86;
                port.productId = 0x7523;
            }
        }
        port.devicePath = QStringLiteral("/dev/") + port.name;
        return port;
    }
    static QString stableName(const QString& kind)
    {
        if (kind == QLatin1String("ftdi"))
            return QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        if (kind == QLatin1String("ch340"))
            return QStringLiteral("/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0");
        return {};
    }
    void plug(const QString& tokens)
    {
        list.clear();
        for (const QString& token : tokens.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            list << port(token);
    }

    QList<SerialPortInfo> list;
    QStringList otherFiles;
};

} // namespace kestrova::test
