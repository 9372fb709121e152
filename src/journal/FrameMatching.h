// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/JournalReading.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// Pairs the camera's image files with the journal's exposures. The camera's clock is off by some
// constant (its time zone, and however wrong it was set): that offset is found from the files
// themselves, then each file goes with the exposure opened at its capture time less the offset.

namespace kestrova {

// What an image file says about itself.
struct ImageMetadata {
    QString fileName; // within its folder
    // The camera's clock when the picture was taken, as it reads: cameras keep no time zone, so
    // only its date and time count, whatever zone the QDateTime was given.
    std::optional<QDateTime> captured;
    std::optional<double> exposureSeconds; // the camera's own exposure time
    QString problem;                       // why the file could not be read; empty when it was
};

// Reads the metadata of image files. Implementations catch their own errors into problem.
class ImageMetadataReader {
public:
    virtual ~ImageMetadataReader() = default;
    // Whether a file of that name is an image this reader reads (by its extension).
    virtual bool isImageName(const QString& fileName) const = 0;
    // "JPEG, CR2, NEF, ...": for messages.
    virtual QString formatsText() const = 0;
    virtual ImageMetadata read(const QString& filePath) const = 0;
};

// The images of a folder, by name.
struct FolderImages {
    QList<ImageMetadata> images;
    QString failure; // the folder could not be listed
};
FolderImages readFolderImages(const QString& folder, const ImageMetadataReader& reader);

// One row of the result: a file and its exposure, or either alone.
struct FrameRow {
    std::optional<ImageMetadata> image;
    std::optional<ExposureRecord> exposure;
    QString remark; // files without an exposure, exposures without a file, cut short, unreadable
};

struct FramePairing {
    // The camera's clock minus UTC; nothing when no offset pairs enough files.
    std::optional<qint64> offsetMs;
    // Another offset, as far from it as one exposure or more, that pairs as many files just as
    // well: the result may be shifted by whole exposures.
    std::optional<qint64> rivalOffsetMs;
    qint64 toleranceMs = 0; // how far a capture time may lie from its opening
    QList<FrameRow> rows;   // by time; files without a capture time last, by name
    int paired = 0;
    int filesWithoutExposure = 0;
    int exposuresWithoutFile = 0;
    int cutShort = 0;
    int unreadable = 0;
};

// Finds the offset that pairs the most files with exposure openings within a tolerance (ties go
// to the one whose camera exposure times agree with the measured lengths, then to the closest
// fit), refines it by the median of the paired residuals, and pairs files and exposures one to
// one. Missing files, extra files and a few stray capture times do not move it.
FramePairing pairFrames(const QList<ImageMetadata>& images, const QList<ExposureRecord>& exposures);

// The kestrova-frames.csv text: header
// file,sequence,exposure,opened_utc,planned_s,measured_s,camera_exposure_s,offset_s,remark
QByteArray framesCsv(const FramePairing& pairing);

// For standard output: files read, paired, the offset found, the files that could not be read.
QString framePairingSummary(const FramePairing& pairing);

// "+1:03:12.400": a signed offset in hours, minutes and seconds.
QString offsetText(qint64 offsetMs);

} // namespace kestrova
