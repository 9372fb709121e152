// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/SerialPortEnumerator.h"

namespace kestrova {

// The enumeration of this system, from sysfs and the links udev makes under /dev/serial.
// QSerialPortInfo is not used: on Linux it opens every built-in port (O_RDWR, to ask for its
// UART type), which switches the lines of a camera on such a port; sysfs tells the same.
class SystemSerialPorts : public SerialPortEnumerator {
public:
    // The roots of sysfs and of the device files; tests point them at a tree of their own.
    explicit SystemSerialPorts(QString sysRoot = QStringLiteral("/sys"),
                               QString devRoot = QStringLiteral("/dev"));

    QList<SerialPortInfo> ports() const override;
    QString resolve(const QString& deviceName) const override;

private:
    QString sysRoot_;
    QString devRoot_;
};

} // namespace kestrova
