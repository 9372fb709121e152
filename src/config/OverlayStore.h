// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsStore.h"

#include <QHash>

namespace kestrova {

// Settings for one run only: the overridden keys are answered from memory and never written;
// every other key is read from, and saved to, the store beneath (so a Com number given to a new
// adapter is kept). Saves of the overlay are told by its own changed(); the store beneath must
// outlive it.
class OverlayStore : public SettingsStore {
public:
    explicit OverlayStore(SettingsStore& beneath);

    // From now on key reads text, whatever the store beneath holds.
    void override(const QString& section, const QString& key, const QString& text);
    void override(const StoredSetting& setting)
    {
        override(setting.section, setting.key, setting.text);
    }
    bool overrides(const QString& section, const QString& key) const;

    using SettingsStore::read;
    std::optional<QString> read(const QString& section, const QString& key,
                                const QString& defaultText) const override;

protected:
    std::optional<QString> write(const QList<StoredSetting>& settings) override;

private:
    SettingsStore& beneath_;
    QHash<QString, QString> overridden_; // by "Section/Key"
};

} // namespace kestrova
