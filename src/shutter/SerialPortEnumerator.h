// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrova {

// One serial port the system has now, as its device files and sysfs describe it.
struct SerialPortInfo {
    QString name;           // kernel name: "ttyUSB0", "ttyACM1", "ttyS0"
    QString devicePath;     // "/dev/ttyUSB0"
    QString stableName;     // its link under /dev/serial/by-id/, empty when it has none
    QStringList otherNames; // every link under /dev/serial/ that leads to it, by-id and by-path
    QString description;    // product string of a USB adapter: "FT232R USB UART"
    QString manufacturer;   // "FTDI"
    QString serialNumber;   // "A50285BI"
    int vendorId = -1;      // USB ids, -1 when unknown
    int productId = -1;
    bool builtIn = false; // a ttyS port of the serial core
    bool hasUart = false; // for a built-in port: a UART answers behind it

    // Plugged-in adapters, and built-in ports with a UART, can carry a camera cable; a ttyS
    // without a UART behind it (most PCs list four) cannot.
    bool usable() const { return !builtIn || hasUart; }
    // What a Com number stores for this port: the name that survives replugging.
    QString storedName() const { return stableName.isEmpty() ? devicePath : stableName; }
};

// Lists the serial ports present now. Looking never opens a device: opening a port raises its
// RTS and DTR lines, which could work a camera wired to it.
class SerialPortEnumerator {
public:
    virtual ~SerialPortEnumerator() = default;
    // In the kernel's order of names (ttyACM0, ttyS0, ttyS1, ..., ttyUSB0, ttyUSB2, ttyUSB10).
    virtual QList<SerialPortInfo> ports() const = 0;
    // The file a device name leads to after all symbolic links; empty when there is none.
    virtual QString resolve(const QString& deviceName) const = 0;
};

} // namespace kestrova
