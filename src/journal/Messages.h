// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the journal tells the user.

namespace kestrova::messages {

// path: the night file or the folder; reason: the system's.
inline QString journalNotWritten(const QString& path, const QString& reason, bool sequenceRunning)
{
    return QStringLiteral("The night journal could not be written to %1: %2. %3 without a "
                          "journal; Kestrova tries again at each later event. Check that the "
                          "folder is writable and that the disk is not full.")
        .arg(path, reason,
             sequenceRunning ? QStringLiteral("The sequence goes on")
                             : QStringLiteral("Kestrova goes on"));
}

inline QString journalUnreadable(const QString& path, const QString& reason)
{
    return QStringLiteral("The night journal %1 could not be read: %2.").arg(path, reason);
}

inline QString noJournalYet(const QString& folder)
{
    return QStringLiteral("No night has been written to the journal folder %1 yet.").arg(folder);
}

inline QString noNightFile(const QString& path)
{
    return QStringLiteral("There is no journal for that night: %1 does not exist. \"kestrova "
                          "--journal\" shows where the journal is.")
        .arg(path);
}

inline QString badNightArgument(const QString& text)
{
    return QStringLiteral("--night needs the date of the night's evening as YYYY-MM-DD, such "
                          "as 2026-12-07; \"%1\" is not one.")
        .arg(text);
}

inline QString malformedLinesLeftOut(int count)
{
    return count == 1 ? QStringLiteral("1 line of the file could not be read and is left out.")
                      : QStringLiteral("%1 lines of the file could not be read and are left out.")
                            .arg(count);
}

inline QString imageFolderUnreadable(const QString& folder)
{
    return QStringLiteral("The folder %1 does not exist or cannot be read.").arg(folder);
}

inline QString noImagesInFolder(const QString& folder, const QString& formats)
{
    return QStringLiteral("No image files in %1 (looked for %2).").arg(folder, formats);
}

inline QString nightWithoutExposures(const QString& path)
{
    return QStringLiteral("The journal %1 holds no exposure to match the files with; choose "
                          "another night with --night YYYY-MM-DD.")
        .arg(path);
}

inline QString framesNotWritten(const QString& path, const QString& reason)
{
    return QStringLiteral("%1 could not be written: %2. Check that the folder is writable and "
                          "that the disk is not full.")
        .arg(path, reason);
}

} // namespace kestrova::messages
