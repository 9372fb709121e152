// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PseudoTerminal.h"

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace kestrova::test {

PseudoTerminal::PseudoTerminal() : primary_(posix_openpt(O_RDWR | O_NOCTTY))
{
    if (primary_ >= 0 && grantpt(primary_) == 0 && unlockpt(primary_) == 0)
        path_ = QString::fromLocal8Bit(ptsname(primary_));
}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::readSettings(termios& settings, int setHangupOnClose) const
{
    const int fd = ::open(path_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    bool read = fd >= 0 && tcgetattr(fd, &settings) == 0;
    if (read && setHangupOnClose >= 0) {
        settings.c_cflag = setHangupOnClose ? settings.c_cflag | HUPCL : settings.c_cflag & ~HUPCL;
        read = tcsetattr(fd, TCSANOW, &settings) == 0 && tcgetattr(fd, &settings) == 0;
    }
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    errno = error;
    return read;
}

void PseudoTerminal::close()
{
    if (primary_ >= 0)
        ::close(primary_);
    primary_ = -1;
}

} // namespace kestrova::test
