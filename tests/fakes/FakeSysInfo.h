#pragma once

#include "about/SysInfo.h"

#include <QMap>
#include <QSet>
#include <QStringList>
#include <cstring>

namespace kestrova::test {

// A registry in memory under HKEY_LOCAL_MACHINE that behaves like the real one towards its
// callers: missing names fail, data larger than the caller's buffer fails, handles are unique.
// It records every call and knows which keys are still open.
class FakeRegistry : public about::Registry {
public:
    struct Value {
        std::uint32_t type = about::registry::RegSz;
        QByteArray data;
    };

    void addKey(const QString& key) { keys[key]; }
    void setValue(const QString& key, const QString& name, std::uint32_t type,
                  const QByteArray& data)
    {
        keys[key].insert(name, Value{type, data});
    }
    // A zero-terminated text value, as the registry keeps text.
    void setText(const QString& key, const QString& name, const QString& text)
    {
        setValue(key, name, about::registry::RegSz, text.toLocal8Bit() + '\0');
    }

    Status openKey(Key root, const QByteArray& subKey, std::uint32_t options, std::uint32_t access,
                   Key& key) override
    {
        const QString name = QString::fromLocal8Bit(subKey);
        calls << QStringLiteral("open %1").arg(name);
        openedWith << qMakePair(options, access);
        if (root != about::registry::LocalMachine || !keys.contains(name))
            return about::registry::FileNotFound;
        key = nextHandle++;
        openKeys.insert(key, name);
        return about::registry::Success;
    }

    Status queryValue(Key key, const QByteArray& valueName, std::uint32_t& type, std::uint8_t* data,
                      std::uint32_t& byteCount) override
    {
        const QString name = QString::fromLocal8Bit(valueName);
        calls << QStringLiteral("query %1").arg(name);
        if (!openKeys.contains(key))
            return about::registry::InvalidHandle;
        const auto values = keys.value(openKeys.value(key));
        if (!values.contains(name))
            return about::registry::FileNotFound;
        const Value& value = values[name];
        const auto size = static_cast<std::uint32_t>(value.data.size());
        type = value.type;
        if (size > byteCount) {
            byteCount = size;
            return about::registry::MoreData;
        }
        std::memcpy(data, value.data.constData(), size);
        byteCount = size;
        return about::registry::Success;
    }

    void closeKey(Key key) noexcept override
    {
        calls << QStringLiteral("close");
        openKeys.remove(key);
    }

    bool opened(const QString& key) const { return calls.contains(QStringLiteral("open ") + key); }

    QMap<QString, QMap<QString, Value>> keys;
    QMap<Key, QString> openKeys;
    QStringList calls;
    QList<QPair<std::uint32_t, std::uint32_t>> openedWith; // options, access
    Key nextHandle = 0x100;
};

// Ordinary files by path; can be made to fail as a broken file system would.
class FakeFileProbe : public about::FileProbe {
public:
    bool isOrdinaryFile(const QString& path) const override
    {
        asked << path;
        if (fail)
            throw std::runtime_error("the file system is not available");
        return files.contains(path);
    }

    QSet<QString> files;
    mutable QStringList asked;
    bool fail = false;
};

// Starts only the programs it knows; records every attempt.
class FakeStarter : public about::ProgramStarter {
public:
    bool start(const QString& path) override
    {
        attempts << path;
        if (fail)
            throw std::runtime_error("out of processes");
        if (!programs.contains(path))
            return false;
        started << path;
        return true;
    }

    QSet<QString> programs;
    QStringList attempts;
    QStringList started;
    bool fail = false;
};

} // namespace kestrova::test
