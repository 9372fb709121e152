// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsSchema.h"
#include "core/Failure.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace kestrova {

// One stored text, addressed by section and key.
struct StoredSetting {
    QString section;
    QString key;
    QString text;

    QString path() const { return section + QLatin1Char('/') + key; } // "Section/Key"
};

// What one save changed, for those who follow the settings.
struct SettingsChange {
    QList<StoredSetting> saved;     // in the order written
    std::optional<Failure> failure; // they are in force, but not all reached the disk
    bool touches(const SettingKey& setting) const;
};

// The per-user settings store: text values addressed by section and key. Every save is told to
// the listeners of changed(), whoever made it.
class SettingsStore : public QObject {
    Q_OBJECT
public:
    // The stored text, or defaultText when the key is absent; nothing when the key holds what is
    // not one text (a list: a value with a comma written by hand).
    virtual std::optional<QString> read(const QString& section, const QString& key,
                                        const QString& defaultText) const = 0;
    std::optional<QString> read(const SettingKey& setting) const
    {
        return read(QLatin1String(setting.section), QLatin1String(setting.key),
                    QLatin1String(setting.defaultText));
    }

    // Creates or replaces each key, writes them to disk at once, then emits changed() once.
    // Returns why they could not be written; they hold in memory all the same. whatIsLost, a
    // sentence, comes first in the failure's detail.
    std::optional<Failure> save(const QList<StoredSetting>& settings,
                                const QString& whatIsLost = {});
    std::optional<Failure> save(const SettingKey& setting, const QString& text)
    {
        return save({{QLatin1String(setting.section), QLatin1String(setting.key), text}});
    }

signals:
    void changed(const kestrova::SettingsChange& change);

protected:
    // Writes the values; the failure's detail when they did not reach the disk.
    virtual std::optional<QString> write(const QList<StoredSetting>& settings) = 0;
};

// The store on QSettings: organisation and application "Kestrova", native format, user scope
// (on Linux ~/.config/Kestrova/Kestrova.conf).
class QSettingsStore : public SettingsStore {
public:
    QSettingsStore();
    // A store kept in the given file instead.
    explicit QSettingsStore(const QString& fileName);
    ~QSettingsStore() override;

    using SettingsStore::read;
    std::optional<QString> read(const QString& section, const QString& key,
                                const QString& defaultText) const override;
    QString fileName() const;

protected:
    std::optional<QString> write(const QList<StoredSetting>& settings) override;

private:
    explicit QSettingsStore(std::function<std::unique_ptr<QSettings>()> open);

    std::function<std::unique_ptr<QSettings>()> open_;
    std::unique_ptr<QSettings> settings_;
};

} // namespace kestrova
