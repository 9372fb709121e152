// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/JournalRow.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

// Where the journal lives and which file holds which night.

namespace kestrova {

// $XDG_STATE_HOME/kestrova, or ~/.local/state/kestrova when XDG_STATE_HOME is unset or not an
// absolute path.
QString journalFolder();

// The night a moment belongs to, named by the date of its evening: a night runs from local noon
// to local noon, so 2026-12-08 03:00 local time belongs to the night of 2026-12-07.
QDate nightOf(const QDateTime& moment);

// "2026-12-07.csv".
QString nightFileName(const QDate& night);
// folder/nightFileName(night).
QString nightFilePath(const QString& folder, const QDate& night);
// The night a file name stands for; nothing for a name that is not a night file's.
std::optional<QDate> nightOfFileName(const QString& fileName);

// The path of the newest night file in the folder; nothing when there is none (or no folder).
std::optional<QString> latestNightFile(const QString& folder);

// A night file as read from disk.
struct JournalFileContent {
    QString path;
    ParsedJournal parsed;
    QString failure; // why it could not be read; empty when it was
};
JournalFileContent readJournalFile(const QString& path);

} // namespace kestrova
