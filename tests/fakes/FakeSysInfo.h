// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "about/SysInfo.h"

#include <QMap>
#include <QSet>
#include <QStringList>
#include <cstring>

namespace kestrova::test {

// The registry under HKEY_LOCAL_MACHINE, the file system and the program start, in memory. Like
// the real registry it fails on missing names and on data larger than the caller's buffer; it
// opens keys only with the options and access the program must ask for, and knows which keys
// are still open. Only installed programs exist and start.
class FakeSystem : public about::Registry, public about::FileProbe, public about::ProgramStarter {
public:
    about::SysInfoPlatform platform() { return {*this, *this, *this}; }
    bool allKeysClosed() const { return openKeys.isEmpty() && !strayClose; }

    Status openKey(Key root, const QByteArray& subKey, std::uint32_t options, std::uint32_t access,
                   Key& key) override
    {
        const QString name = QString::fromLocal8Bit(subKey);
        opened << name;
        if (root != about::registry::LocalMachine || options != 0 || access != 0x2003F ||
            !keys.contains(name))
            return about::registry::FileNotFound;
        key = 0x100 + opened.size();
        openKeys.insert(key, name);
        return about::registry::Success;
    }
    Status queryValue(Key key, const QByteArray& valueName, std::uint32_t& type, std::uint8_t* data,
                      std::uint32_t& byteCount) override
    {
        const auto values = keys.value(openKeys.value(key));
        const QString name = QString::fromLocal8Bit(valueName);
        if (!openKeys.contains(key) || !values.contains(name))
            return about::registry::FileNotFound;
        const auto [valueType, bytes] = values.value(name);
        type = valueType;
        if (std::uint32_t(bytes.size()) > byteCount)
            return about::registry::MoreData;
        byteCount = std::uint32_t(bytes.size());
        std::memcpy(data, bytes.constData(), byteCount);
        return about::registry::Success;
    }
    void closeKey(Key key) noexcept override { strayClose |= openKeys.remove(key) == 0; }

    bool isOrdinaryFile(const QString& path) const override { return installed.contains(path); }
    bool start(const QString& path) override
    {
        if (!installed.contains(path))
            return false;
        started << path;
        return true;
    }

    QMap<QString, QMap<QString, QPair<std::uint32_t, QByteArray>>> keys; // type and data by name
    QMap<Key, QString> openKeys;
    QStringList opened; // every key asked for, in order
    bool strayClose = false;
    QSet<QString> installed;
    QStringList started;
};

} // namespace kestrova::test
