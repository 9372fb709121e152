// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/SysInfo.h"

#include <QProcess>
#include <QStandardPaths>

namespace kestrova::about {

QStringList systemInformationTools()
{
    return {QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"), QStringLiteral("cpu-x")};
}

bool startSystemInformationTool()
{
    for (const QString& name : systemInformationTools()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return QProcess::startDetached(path, {});
    }
    return false;
}

} // namespace kestrova::about
