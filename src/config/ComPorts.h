// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsStore.h"
#include "shutter/SerialLine.h"
#include "shutter/SerialPortEnumerator.h"

#include <QList>
#include <QString>
#include <optional>

namespace kestrova {

// The device Com<N> opens: its "Com<N> Device" key when set, otherwise /dev/ttyS<N-1>. A key
// that cannot be read leaves Com<N> without a device: it names no port the user chose.
ComDevice comDevice(const SettingsStore& store, int commPortNumber);

// One Com number as it stands now.
struct ComPort {
    int number = 0;
    QString device;                     // what Com<N> opens
    bool assigned = false;              // by a "Com<N> Device" key
    bool unreadable = false;            // its key holds what is not one text: no device
    bool present = false;               // a usable port is behind the device now
    std::optional<SerialPortInfo> port; // the listed serial port behind it, if any
};

// The Com numbers and the serial ports seen in one look.
struct ComPortTable {
    QList<ComPort> coms;                 // Com1 to Com16
    QList<SerialPortInfo> adapters;      // the adapters present, numbered or not
    QList<SerialPortInfo> withoutNumber; // adapters left without a Com number: all are taken
    std::optional<Failure> failure;      // a new Com number did not reach the disk

    // The Com number an adapter has, 0 for none.
    int numberOf(const SerialPortInfo& adapter) const;
};

// Looks at the serial ports present now and gives every adapter seen for the first time the
// lowest Com number that has neither a "Com<N> Device" key nor a built-in port with a UART
// behind /dev/ttyS<N-1>, storing the key at once with the adapter's name under
// /dev/serial/by-id (its plain device name when it has none). Keys already stored, by the
// program or by hand, are kept and win.
ComPortTable lookForSerialPorts(SettingsStore& store, const SerialPortEnumerator& enumerator);

// "Com3: FT232R USB UART (FTDI, serial A50285BI), /dev/ttyUSB0, plugged in".
QString comToolTip(const ComPort& com);

// The ports present now with their Com numbers, for a message about a port that failed.
QString presentPortsText(const ComPortTable& table);

// The Com table and, for each adapter, the udev rule that keeps ModemManager away from it.
QString listPortsText(const ComPortTable& table);

} // namespace kestrova
