// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalFiles.h"

#include "journal/Messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestrova {

namespace {
const QString NightFormat = QStringLiteral("yyyy-MM-dd");
const QString NightSuffix = QStringLiteral(".csv");
} // namespace

QString journalFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/kestrova"));
}

QDate nightOf(const QDateTime& moment)
{
    const QDateTime local = moment.toLocalTime();
    return local.time().hour() < 12 ? local.date().addDays(-1) : local.date();
}

QString nightFileName(const QDate& night)
{
    return night.toString(NightFormat) + NightSuffix;
}

QString nightFilePath(const QString& folder, const QDate& night)
{
    return QDir(folder).filePath(nightFileName(night));
}

std::optional<QDate> nightOfFileName(const QString& fileName)
{
    if (fileName.size() != NightFormat.size() + NightSuffix.size() ||
        !fileName.endsWith(NightSuffix))
        return std::nullopt;
    const QDate night = QDate::fromString(fileName.left(NightFormat.size()), NightFormat);
    if (!night.isValid())
        return std::nullopt;
    return night;
}

std::optional<QString> latestNightFile(const QString& folder)
{
    const QDir dir(folder);
    std::optional<QDate> latest;
    // A link to a file elsewhere counts even when its target is gone (a disk not mounted): the
    // reader then says so, rather than showing an older night.
    for (const QString& name :
         dir.entryList({QStringLiteral("*.csv")}, QDir::Files | QDir::System)) {
        const std::optional<QDate> night = nightOfFileName(name);
        if (night && (!latest || *night > *latest))
            latest = night;
    }
    if (!latest)
        return std::nullopt;
    return nightFilePath(folder, *latest);
}

JournalFileContent readJournalFile(const QString& path)
{
    JournalFileContent content;
    content.path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        content.failure = messages::journalUnreadable(path, file.errorString());
        return content;
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        content.failure = messages::journalUnreadable(path, file.errorString());
        return content;
    }
    content.parsed = parseJournalCsv(text);
    return content;
}

} // namespace kestrova
