// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/SettingsStore.h"

#include "config/Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>

namespace kestrova {

namespace {
QString settingPath(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}
} // namespace

QSettingsStore::QSettingsStore()
    : QSettingsStore([] {
          return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Kestrova"),
                                             QStringLiteral("Kestrova"));
      })
{
}

QSettingsStore::QSettingsStore(const QString& fileName)
    : QSettingsStore(
          [fileName] { return std::make_unique<QSettings>(fileName, QSettings::NativeFormat); })
{
}

QSettingsStore::QSettingsStore(std::function<std::unique_ptr<QSettings>()> open)
    : open_(std::move(open)), settings_(open_())
{
}

QSettingsStore::~QSettingsStore() = default;

QString QSettingsStore::fileName() const
{
    return settings_->fileName();
}

std::optional<QString> QSettingsStore::read(const QString& section, const QString& key,
                                            const QString& defaultText) const
{
    const QVariant value = settings_->value(settingPath(section, key));
    if (!value.isValid())
        return defaultText;
    // The file format reads a value with an unquoted comma as a list, which no setting is;
    // taken as text it would be empty, and some other value would be used without a word.
    if (value.metaType() != QMetaType::fromType<QString>())
        return std::nullopt;
    return value.toString();
}

std::optional<QString> QSettingsStore::write(const QList<StoredSetting>& settings)
{
    for (const StoredSetting& setting : settings)
        settings_->setValue(settingPath(setting.section, setting.key), setting.text);
    settings_->sync();
    QSettings::Status status = settings_->status();
    if (status != QSettings::NoError) {
        // QSettings keeps reporting the first error it met: after a format error in the file,
        // which it writes anew without the bad lines, or after a refused write, even once the
        // folder is writable again. A fresh instance, made while this one still holds the
        // changes not yet on disk, writes them again, so its status says whether this save
        // reached the disk now.
        std::unique_ptr<QSettings> fresh = open_();
        status = fresh->status();
        settings_ = std::move(fresh);
    }
    if (status == QSettings::NoError)
        return std::nullopt;
    // QSettings keeps the value in memory even when the file could not be written; the user
    // must hear that it will be gone at the next start.
    const QFileInfo file(settings_->fileName());
    return messages::settingsNotWritten(QDir::toNativeSeparators(file.absoluteFilePath()),
                                        QDir::toNativeSeparators(file.absolutePath()));
}

bool SettingsChange::touches(const SettingKey& setting) const
{
    return std::any_of(saved.begin(), saved.end(), [&](const StoredSetting& written) {
        return written.section == QLatin1String(setting.section) &&
               written.key == QLatin1String(setting.key);
    });
}

std::optional<Failure> SettingsStore::save(const QList<StoredSetting>& settings,
                                           const QString& whatIsLost)
{
    SettingsChange change{settings, std::nullopt};
    if (const std::optional<QString> detail = write(settings))
        change.failure =
            Failure{QString::fromLatin1(messages::SettingsNotSaved),
                    whatIsLost.isEmpty() ? *detail : whatIsLost + QLatin1Char(' ') + *detail};
    emit changed(change);
    return change.failure;
}

} // namespace kestrova
