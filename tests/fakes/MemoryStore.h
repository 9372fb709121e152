// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsStore.h"

#include <QMap>
#include <QStringList>

namespace kestrova::test {

// A settings store in memory that records every value written and can be made to refuse writes.
// Like QSettings, it keeps a refused value in memory, and each save is judged on its own.
class MemoryStore : public SettingsStore {
public:
    using SettingsStore::read;
    std::optional<QString> read(const QString& section, const QString& key,
                                const QString& defaultText) const override
    {
        const QString path = section + QLatin1Char('/') + key;
        if (lists.contains(path))
            return std::nullopt;
        return values.value(path, defaultText);
    }

    QMap<QString, QString> values; // "Section/Key" -> text
    QStringList lists;             // "Section/Key" holding a list, as a hand-written comma makes
    QStringList saves;             // "Section/Key=text", in the order written
    bool refuseWrites = false;
    QStringList refusedKeys; // "Section/Key" whose writes alone are refused

protected:
    std::optional<QString> write(const QList<StoredSetting>& settings) override
    {
        bool refused = refuseWrites;
        for (const StoredSetting& setting : settings) {
            saves << setting.path() + QLatin1Char('=') + setting.text;
            values.insert(setting.path(), setting.text);
            refused = refused || refusedKeys.contains(setting.path());
        }
        return refused ? std::optional<QString>(QStringLiteral("disk full")) : std::nullopt;
    }
};

} // namespace kestrova::test
