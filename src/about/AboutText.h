// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The texts the About window and the system information button show.
namespace kestrova::about {

inline constexpr char SysInfoUnavailable[] = "System Information Is Unavailable At This Time";

inline QString description()
{
    return QStringLiteral("Kestrova takes a series of timed exposures with your camera through the "
                          "computer's parallel or serial port. The same parallel port can also "
                          "guide a telescope with a separate autoguiding program.");
}

inline QString disclaimer()
{
    return QStringLiteral("Copyright \u00A9 the Kestrova authors. Free software under the GNU "
                          "General Public License, version 3 or later. Provided as is, without "
                          "warranty of any kind; you use it at your own risk.");
}

inline QString aboutCaption(const QString& title)
{
    return QStringLiteral("About ") + title;
}

// Plain decimal numbers: minor 0 reads 0, never 00.
inline QString versionLine(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

} // namespace kestrova::about
