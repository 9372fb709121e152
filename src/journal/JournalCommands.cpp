// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalCommands.h"

#include "journal/JournalFiles.h"
#include "journal/Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace kestrova {

namespace {

// Strictly YYYY-MM-DD, as the night files are named.
std::optional<QDate> nightFromArgument(const QString& text)
{
    return nightOfFileName(text + QStringLiteral(".csv"));
}

} // namespace

int printJournal(QTextStream& out, QTextStream& err, const QString& folder)
{
    const QFileInfo info(folder);
    if (info.exists() && (!info.isDir() || !info.isReadable() || !info.isExecutable())) {
        err << messages::journalUnreadable(QDir::toNativeSeparators(folder),
                                           QStringLiteral("the folder cannot be read"))
            << '\n';
        return 1;
    }
    const std::optional<QString> latest = latestNightFile(folder);
    if (!latest) {
        out << messages::noJournalYet(QDir::toNativeSeparators(folder)) << '\n';
        return 0;
    }
    const JournalFileContent night = readJournalFile(*latest);
    if (!night.failure.isEmpty()) {
        err << night.failure << '\n';
        return 1;
    }
    out << journalText(folder, night);
    return 0;
}

int matchFrames(const QString& dir, const std::optional<QString>& night, const QString& folder,
                const ImageMetadataReader& reader, QTextStream& out, QTextStream& err)
{
    std::optional<QString> journal;
    if (night) {
        const std::optional<QDate> date = nightFromArgument(*night);
        if (!date) {
            err << messages::badNightArgument(*night) << '\n';
            return 2;
        }
        journal = nightFilePath(folder, *date);
        if (!QFileInfo::exists(*journal)) {
            err << messages::noNightFile(QDir::toNativeSeparators(*journal)) << '\n';
            return 1;
        }
    } else {
        journal = latestNightFile(folder);
        if (!journal) {
            err << messages::noJournalYet(QDir::toNativeSeparators(folder)) << '\n';
            return 1;
        }
    }
    const JournalFileContent content = readJournalFile(*journal);
    if (!content.failure.isEmpty()) {
        err << content.failure << '\n';
        return 1;
    }
    const QList<ExposureRecord> exposures = exposuresOf(content.parsed.rows);
    if (exposures.isEmpty()) {
        err << messages::nightWithoutExposures(QDir::toNativeSeparators(*journal)) << '\n';
        return 1;
    }
    const FolderImages images = readFolderImages(dir, reader);
    if (!images.failure.isEmpty()) {
        err << images.failure << '\n';
        return 1;
    }
    if (images.images.isEmpty()) {
        err << messages::noImagesInFolder(QDir::toNativeSeparators(dir), reader.formatsText())
            << '\n';
        return 1;
    }

    const FramePairing pairing = pairFrames(images.images, exposures);
    const QString result = QDir(dir).filePath(QLatin1String(FramesFileName));
    // Written whole or not at all: a reader never sees half a result.
    QSaveFile file(result);
    if (!file.open(QIODevice::WriteOnly) || file.write(framesCsv(pairing)) < 0 || !file.commit()) {
        err << messages::framesNotWritten(QDir::toNativeSeparators(result), file.errorString())
            << '\n';
        return 1;
    }
    out << QStringLiteral("Journal: %1, %2 exposures.\n")
               .arg(QDir::toNativeSeparators(*journal))
               .arg(exposures.size());
    out << framePairingSummary(pairing);
    out << QStringLiteral("Written: %1\n").arg(QDir::toNativeSeparators(result));
    return 0;
}

} // namespace kestrova
