// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/SystemPlatform.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstring>

namespace kestrova::about {

namespace {
// The one key that exists; its handle only has to differ from zero.
constexpr Registry::Key ToolKeyHandle = 1;
} // namespace

QStringList systemInformationTools()
{
    return {QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"), QStringLiteral("cpu-x")};
}

ToolSearchRegistry::ToolSearchRegistry(QStringList searchDirs) : searchDirs_(std::move(searchDirs))
{
}

Registry::Status ToolSearchRegistry::openKey(Key root, const QByteArray& subKey, std::uint32_t,
                                             std::uint32_t, Key& key)
{
    // Registry names ignore case.
    if (root != registry::LocalMachine || subKey.compare(ToolPathKey, Qt::CaseInsensitive) != 0)
        return registry::FileNotFound;
    key = ToolKeyHandle;
    return registry::Success;
}

Registry::Status ToolSearchRegistry::queryValue(Key key, const QByteArray& valueName,
                                                std::uint32_t& type, std::uint8_t* data,
                                                std::uint32_t& byteCount)
{
    if (key != ToolKeyHandle)
        return registry::InvalidHandle;
    if (valueName.compare(ToolPathValue, Qt::CaseInsensitive) != 0)
        return registry::FileNotFound;
    const QString tool = findTool();
    if (tool.isEmpty())
        return registry::FileNotFound;

    // Stored as the registry stores text: with its terminating zero byte.
    const QByteArray text = QFile::encodeName(tool);
    const auto size = static_cast<std::uint32_t>(text.size()) + 1;
    type = registry::RegSz;
    if (size > byteCount) {
        byteCount = size;
        return registry::MoreData;
    }
    std::memcpy(data, text.constData(), size);
    byteCount = size;
    return registry::Success;
}

void ToolSearchRegistry::closeKey(Key) noexcept {}

QString ToolSearchRegistry::findTool() const
{
    for (const QString& name : systemInformationTools()) {
        const QString path = QStandardPaths::findExecutable(name, searchDirs_);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool LocalFileProbe::isOrdinaryFile(const QString& path) const
{
    return QFileInfo(path).isFile();
}

bool DetachedStarter::start(const QString& path)
{
    return !path.isEmpty() && QProcess::startDetached(path, {});
}

SysInfoPlatform systemPlatform()
{
    static ToolSearchRegistry registry;
    static LocalFileProbe files;
    static DetachedStarter starter;
    return {registry, files, starter};
}

} // namespace kestrova::about
