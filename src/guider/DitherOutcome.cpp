// SPDX-License-Identifier: GPL-3.0-or-later
#include "guider/DitherOutcome.h"

namespace kestrova {

QString kindName(DitherOutcome::Kind kind)
{
    switch (kind) {
    case DitherOutcome::Kind::Settled:
        return QStringLiteral("settled");
    case DitherOutcome::Kind::SettleFailed:
        return QStringLiteral("settle failed");
    case DitherOutcome::Kind::Refused:
        return QStringLiteral("refused");
    case DitherOutcome::Kind::TimedOut:
        return QStringLiteral("timed out");
    case DitherOutcome::Kind::ConnectionLost:
        return QStringLiteral("connection lost");
    }
    return {};
}

bool DitherFailureNotices::shouldNotify(DitherOutcome::Kind kind)
{
    if (kind == DitherOutcome::Kind::Settled)
        return false;
    const unsigned bit = 1u << static_cast<unsigned>(kind);
    const bool first = !(notified_ & bit);
    notified_ |= bit;
    return first;
}

} // namespace kestrova
