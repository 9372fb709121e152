// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/SettingsSchema.h"

namespace kestrova::settings {

QString comDeviceKey(int commPortNumber)
{
    return QStringLiteral("Com%1 Device").arg(commPortNumber);
}

QString defaultComDevice(int commPortNumber)
{
    if (commPortNumber < 1)
        return {};
    return QStringLiteral("/dev/ttyS%1").arg(commPortNumber - 1);
}

} // namespace kestrova::settings
