// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/SerialPortEnumerator.h"

#include <QStringList>
#include <tuple>

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
        const bool builtIn = token.startsWith('S') || token.startsWith('s');
        const QString kind = token.section('@', 0, 0);
        const QString name = builtIn ? "ttyS" + token.mid(1) : token.section('@', 1);
        const QString stable = stableName(kind);
        SerialPortInfo port;
        std::tie(port.name, port.devicePath, port.stableName, port.builtIn, port.hasUart) =
            std::tuple(name, "/dev/" + name, stable, builtIn, token.startsWith('S'));
        port.otherNames = stable.isEmpty() ? QStringList() : QStringList{stable};
        if (kind == "ftdi")
            std::tie(port.description, port.manufacturer, port.serialNumber, port.vendorId,
                     port.productId) =
                std::tuple("FT232R USB UART", "FTDI", "A50285BI", 0x0403, 0x6001);
        else if (kind == "ch340")
            std::tie(port.description, port.vendorId, port.productId) =
                std::tuple("USB Serial", 0x1a86, 0x7523);
        return port;
    }
    static QString stableName(const QString& kind)
    {
        if (kind == "ftdi")
            return "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        return kind == "ch340" ? "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0" : QString();
    }
    void plug(const QString& tokens)
    {
        list.clear();
        for (const QString& token : tokens.split(' ', Qt::SkipEmptyParts))
            list << port(token);
    }

    QList<SerialPortInfo> list;
    QStringList otherFiles;
};

} // namespace kestrova::test
