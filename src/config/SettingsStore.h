// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsSchema.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace kestrova {

// The per-user settings store: text values addressed by section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored text, or defaultText when the key is absent; nothing when the key holds what is
    // not one text (a list: a value with a comma written by hand).
    virtual std::optional<QString> read(const QString& section, const QString& key,
                                        const QString& defaultText) const = 0;
    // Creates or replaces the key and writes it to disk at once. False when it could not be
    // written; failureText() then says why.
    virtual bool save(const QString& section, const QString& key, const QString& text) = 0;
    virtual QString failureText() const = 0;

    std::optional<QString> read(const SettingKey& setting) const
    {
        return read(QLatin1String(setting.section), QLatin1String(setting.key),
                    QLatin1String(setting.defaultText));
    }
    bool save(const SettingKey& setting, const QString& text)
    {
        return save(QLatin1String(setting.section), QLatin1String(setting.key), text);
    }
};

// The store on QSettings: organisation and application "Kestrova", native format, user scope
// (on Linux ~/.config/Kestrova/Kestrova.conf).
class QSettingsStore : public SettingsStore {
public:
    QSettingsStore();
    // A store kept in the given file instead, for tests.
    explicit QSettingsStore(const QString& fileName);
    ~QSettingsStore() override;

    using SettingsStore::read;
    using SettingsStore::save;

    std::optional<QString> read(const QString& section, const QString& key,
                                const QString& defaultText) const override;
    bool save(const QString& section, const QString& key, const QString& text) override;
    QString failureText() const override { return failure_; }
    QString fileName() const;

private:
    explicit QSettingsStore(std::function<std::unique_ptr<QSettings>()> open);

    std::function<std::unique_ptr<QSettings>()> open_;
    std::unique_ptr<QSettings> settings_;
    QString failure_;
};

} // namespace kestrova
