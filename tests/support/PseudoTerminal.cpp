// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PseudoTerminal.h"

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

void PseudoTerminal::close()
{
    if (primary_ >= 0)
        ::close(primary_);
    primary_ = -1;
}

} // namespace kestrova::test
