// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/SysInfo.h"

#include <array>

namespace kestrova::about {

namespace {

class KeyCloser {
public:
    KeyCloser(Registry& registry, Registry::Key key) : registry_(registry), key_(key) {}
    ~KeyCloser() { registry_.closeKey(key_); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    Registry& registry_;
    Registry::Key key_;
};

QString dwordText(const QByteArray& data)
{
    QString text = QStringLiteral("&h");
    for (auto i = data.size(); i-- > 0;)
        text += QStringLiteral("%1")
                    .arg(static_cast<std::uint8_t>(data[i]), 2, 16, QLatin1Char('0'))
                    .toUpper();
    return text;
}

} // namespace

bool GetKeyValue(Registry& registry, Registry::Key KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal)
{
    Registry::Key key = 0;
    if (registry.openKey(KeyRoot, KeyName.toLocal8Bit(), 0, KeyAccess, key) != registry::Success) {
        KeyVal.clear();
        return false;
    }
    const KeyCloser closer(registry, key);

    std::array<std::uint8_t, ValueBufferSize> buffer{};
    std::uint32_t type = 0;
    std::uint32_t count = ValueBufferSize;
    // A count beyond the buffer would read past it: such an answer is no value either.
    if (registry.queryValue(key, SubKeyRef.toLocal8Bit(), type, buffer.data(), count) !=
            registry::Success ||
        count > ValueBufferSize) {
        KeyVal.clear();
        return false;
    }
    if (count == 0)
        throw RegistryDataError("The registry value " + SubKeyRef.toStdString() +
                                " holds no data.");
    // Text is stored with a terminating zero byte, but not always.
    if (buffer[count - 1] == 0)
        --count;
    const QByteArray data(reinterpret_cast<const char*>(buffer.data()), count);

    switch (type) {
    case registry::RegSz:
        KeyVal = QString::fromLocal8Bit(data);
        break;
    case registry::RegDword:
        KeyVal = dwordText(data);
        break;
    default:
        break;
    }
    return true;
}

void StartSysInfo(const SysInfoPlatform& platform, const ShowMessage& showMessage)
{
    try {
        QString path;
        if (!GetKeyValue(platform.registry, registry::LocalMachine,
                         QString::fromLatin1(ToolPathKey), QString::fromLatin1(ToolPathValue),
                         path)) {
            if (!GetKeyValue(platform.registry, registry::LocalMachine,
                             QString::fromLatin1(ToolFolderKey),
                             QString::fromLatin1(ToolFolderValue), path)) {
                showMessage(QString::fromLatin1(SysInfoUnavailable));
                return;
            }
            const QString file = path + QString::fromLatin1(ToolFileName);
            if (!platform.files.isOrdinaryFile(file)) {
                showMessage(QString::fromLatin1(SysInfoUnavailable));
                return;
            }
            path = file;
        }
        if (platform.starter.start(path))
            return;
    } catch (const std::exception&) {
        // Whatever went wrong on the way, the user learns only that the tool is not available.
    }
    showMessage(QString::fromLatin1(SysInfoUnavailable));
}

} // namespace kestrova::about
