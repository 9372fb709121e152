// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsStore.h"

#include <QMap>
#include <QStringList>

namespace kestrova::test {

// A settings store in memory that records every value written and can be made to refuse writes.
// Like QSettings, it keeps a refused value in memory, and each save is judged on its own. The
// text "<list>" stands for a list, as a comma written by hand makes it: it reads as no text.
class MemoryStore : public SettingsStore {
public:
    using SettingsStore::read;
    std::optional<QString> read(const QString& section, const QString& key,
                                const QString& defaultText) const override
    {
        const QString text = values.value(section + QLatin1Char('/') + key, defaultText);
        return text == QLatin1String("<list>") ? std::nullopt : std::optional(text);
    }

    QMap<QString, QString> values; // "Section/Key" -> text
    QStringList saves;             // "Section/Key=text", in the order written
    bool refuseWrites = false;

protected:
    std::optional<QString> write(const QList<StoredSetting>& settings) override
    {
        for (const StoredSetting& setting : settings) {
            saves << setting.path() + QLatin1Char('=') + setting.text;
            values.insert(setting.path(), setting.text);
        }
        return refuseWrites ? std::optional<QString>(QStringLiteral("disk full")) : std::nullopt;
    }
};

} // namespace kestrova::test
