// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/OverlayStore.h"

namespace kestrova {

namespace {
QString pathOf(const QString& section, const QString& key)
{
    return StoredSetting{section, key, {}}.path();
}
} // namespace

OverlayStore::OverlayStore(SettingsStore& beneath) : beneath_(beneath) {}

void OverlayStore::override(const QString& section, const QString& key, const QString& text)
{
    overridden_.insert(pathOf(section, key), text);
}

bool OverlayStore::overrides(const QString& section, const QString& key) const
{
    return overridden_.contains(pathOf(section, key));
}

std::optional<QString> OverlayStore::read(const QString& section, const QString& key,
                                          const QString& defaultText) const
{
    const auto found = overridden_.constFind(pathOf(section, key));
    if (found != overridden_.constEnd())
        return *found;
    return beneath_.read(section, key, defaultText);
}

// An overridden key saved by the program holds for the run, as the override did.
std::optional<QString> OverlayStore::write(const QList<StoredSetting>& settings)
{
    QList<StoredSetting> passed;
    for (const StoredSetting& setting : settings) {
        const auto found = overridden_.find(setting.path());
        if (found != overridden_.end())
            *found = setting.text;
        else
            passed.append(setting);
    }
    if (passed.isEmpty())
        return std::nullopt;
    if (const std::optional<Failure> failed = beneath_.save(passed))
        return failed->detail;
    return std::nullopt;
}

} // namespace kestrova
