// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What the settings layer tells the user, as the details of the program's messages.

namespace kestrova::messages {

inline const char SettingsNotSaved[] = "The settings could not be saved.";
inline const char SettingsUnreadable[] =
    "Some stored settings could not be read; their defaults are used.";
// The details of SettingsUnreadable: keys are "Section/Key".
inline QString unreadableSettings(const QStringList& keys)
{
    return QStringLiteral("Unreadable: %1. Choose them again under Interface or Options....")
        .arg(keys.join(QStringLiteral(", ")));
}
// interfaceName: "Serial" or "Parallel".
inline QString interfaceChoiceNotSaved(const QString& interfaceName)
{
    return QStringLiteral("The choice of Interface, %1 was not saved; it holds until Kestrova is "
                          "closed.")
        .arg(interfaceName);
}

// file: the settings file; folder: the folder that holds it.
inline QString settingsNotWritten(const QString& file, const QString& folder)
{
    return QStringLiteral("The settings could not be written to %1. Check that the folder %2 "
                          "exists and is writable and that the disk is not full.")
        .arg(file, folder);
}

// lines: the ports present, one a line: "Com3: FT232R USB UART (FTDI), /dev/ttyUSB0".
inline QString serialPortsPresent(const QString& lines)
{
    return QStringLiteral("Serial ports present now:\n%1\nChoose the Com number under "
                          "Options..., then Interface, Serial.")
        .arg(lines);
}
// key: "Com3 Device"
inline QString comKeyUnreadable(const QString& key)
{
    return QStringLiteral("The setting \"%1\" in Serial Options cannot be read: it holds more "
                          "than one text (a comma outside quotes). Write the device in quotes, "
                          "or remove the line to let Kestrova number the port again.")
        .arg(key);
}

inline const char NoSerialPortPresent[] =
    "No serial port is present now. Plug in the serial adapter, then choose Interface, Serial.";

} // namespace kestrova::messages
