// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace kestrova::test {

// A pseudo-terminal pair: the program opens the subsidiary side as its "serial port". The path
// is empty when the system gives none; it goes away with the pair, as an adapter pulled out.
class PseudoTerminal {
public:
    PseudoTerminal() : primary_(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (primary_ >= 0 && grantpt(primary_) == 0 && unlockpt(primary_) == 0)
            path_ = QString::fromLocal8Bit(ptsname(primary_));
    }
    ~PseudoTerminal() { ::close(primary_); } // -1 when none was opened: nothing closed
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    QString path() const { return path_; }
    // Reads the settings the device holds now, first setting or clearing its hang-up on close
    // flag when asked; false if it cannot. Linux answers for the subsidiary side through the
    // primary, so the device is not opened again, which would raise its modem lines.
    bool readSettings(termios& settings, int setHangupOnClose = -1) const
    {
        const bool read = tcgetattr(primary_, &settings) == 0; // fails on no primary as well
        if (!read || setHangupOnClose < 0)
            return read;
        settings.c_cflag = (settings.c_cflag & ~HUPCL) | (setHangupOnClose ? HUPCL : 0);
        return tcsetattr(primary_, TCSANOW, &settings) == 0 && tcgetattr(primary_, &settings) == 0;
    }

private:
    int primary_ = -1;
    QString path_;
};

} // namespace kestrova::test
