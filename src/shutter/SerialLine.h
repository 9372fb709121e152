// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/LineFailure.h"

#include <QString>

namespace kestrova {

// The device file a Com number opens, or why there is none.
struct ComDevice {
    QString path;
    QString problem; // for the user, when path is empty
};

// A numbered serial port whose RTS and DTR lines work the shutter.
//
// Like a serial communications control, it keeps RTSEnable and DTREnable as stored values
// (both false until first set): setting one while the port is closed only stores it, and
// every open applies both to the port at once, so no line is left at the level the system
// raises on open.
class SerialLine {
public:
    virtual ~SerialLine() = default;

    virtual bool isOpen() const = 0;
    // Opens Com<commPortNumber> at 9600 baud, no parity, 8 data bits, 1 stop bit, no flow
    // control, then applies the stored RTS and DTR levels. Returns the failure when the port
    // cannot be opened, or its lines cannot be put back; the port is closed then.
    [[nodiscard]] virtual LineResult open(int commPortNumber) = 0;
    virtual void close() = 0;

    // Whether RTS and DTR keep their levels when the port is released, from the next open on.
    // When not, the system drops both at the release (hang-up on close).
    virtual void setKeepLevelsOnRelease(bool keep) = 0;

    // When the port is open, switch the line; then store the level. Returns the failure when
    // the switch fails (for example the adapter was unplugged), keeping the level stored before;
    // a device that is gone is released then.
    [[nodiscard]] virtual LineResult setRtsEnable(bool on) = 0;
    [[nodiscard]] virtual LineResult setDtrEnable(bool on) = 0;
    virtual bool rtsEnable() const = 0;
    virtual bool dtrEnable() const = 0;
};

} // namespace kestrova
