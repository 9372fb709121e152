// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsStore.h"

#include <QMap>
#include <QStringList>

namespace kestrova::test {

// A settings store in memory that records every save and can be made to refuse writes. Like
// QSettings, it keeps a refused value in memory, and each save is judged on its own.
class MemoryStore : public SettingsStore {
public:
    std::optional<QString> read(const QString& section, const QString& key,
                                const QString& defaultText) const override
    {
        const QString path = section + QLatin1Char('/') + key;
        if (lists.contains(path))
            return std::nullopt;
        return values.value(path, defaultText);
    }
    bool save(const QString& section, const QString& key, const QString& text) override
    {
        const QString path = section + QLatin1Char('/') + key;
        saves << path + QLatin1Char('=') + text;
        values.insert(path, text);
        const bool refused = refuseWrites || refusedKeys.contains(path);
        failure = refused ? QStringLiteral("disk full") : QString();
        return !refused;
    }
    QString failureText() const override { return failure; }
    using SettingsStore::read, SettingsStore::save;

    QMap<QString, QString> values; // "Section/Key" -> text
    QStringList lists;             // "Section/Key" holding a list, as a hand-written comma makes
    QStringList saves;             // "Section/Key=text", in the order saved
    bool refuseWrites = false;
    QStringList refusedKeys; // "Section/Key" whose saves alone are refused
    QString failure;         // why the last save was refused
};

} // namespace kestrova::test
