// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/FrameMatching.h"

#include "journal/Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace kestrova {

namespace {

// The camera's clock reading as a plain count of milliseconds.
qint64 clockMs(const QDateTime& reading)
{
    return QDateTime(reading.date(), reading.time(), Qt::UTC).toMSecsSinceEpoch();
}

// A camera's exposure time agrees with the measured length within a second or 5 %.
bool exposureTimeAgrees(const ImageMetadata& image, const ExposureRecord& exposure)
{
    if (!image.exposureSeconds)
        return false;
    const double measured = exposure.measuredMs ? *exposure.measuredMs / 1000.0
                            : exposure.plannedS ? double(*exposure.plannedS)
                                                : -1.0;
    if (measured < 0)
        return false;
    return std::abs(*image.exposureSeconds - measured) <= std::max(1.0, 0.05 * measured);
}

struct Moment {
    qsizetype index; // into images or exposures
    qint64 ms;       // camera clock for a file, UTC for an opening
};

struct Pair {
    qsizetype file;    // into the timed files
    qsizetype opening; // into the openings
    qint64 residualMs; // capture - offset - opening
};

// The one-to-one pairing at an offset and how well it fits.
struct Fit {
    qint64 offsetMs = 0;
    std::vector<Pair> pairs;
    int agreeing = 0; // pairs whose camera exposure time agrees with the measured length
    qint64 residualSum = 0;

    // More pairs, then more agreeing exposure times, then smaller residuals.
    bool betterThan(const Fit& other) const
    {
        if (pairs.size() != other.pairs.size())
            return pairs.size() > other.pairs.size();
        if (agreeing != other.agreeing)
            return agreeing > other.agreeing;
        return residualSum < other.residualSum;
    }
};

class Pairer {
public:
    Pairer(const QList<ImageMetadata>& images, const QList<ExposureRecord>& exposures)
        : images_(images), exposures_(exposures)
    {
        for (qsizetype i = 0; i < images.size(); ++i)
            if (images[i].captured)
                files_.push_back({i, clockMs(*images[i].captured)});
        for (qsizetype j = 0; j < exposures.size(); ++j)
            openings_.push_back({j, exposures[j].openedAt.toMSecsSinceEpoch()});
        const auto byTime = [](const Moment& a, const Moment& b) { return a.ms < b.ms; };
        std::sort(files_.begin(), files_.end(), byTime);
        std::sort(openings_.begin(), openings_.end(), byTime);
        // Half the shortest gap between openings, so that a capture time falls near one opening
        // only; at least half a second (capture times are whole seconds in many cameras) and at
        // most two (the camera's clock may wander a little over a night).
        std::optional<qint64> shortestGap;
        for (std::size_t j = 1; j < openings_.size(); ++j)
            if (const qint64 gap = openings_[j].ms - openings_[j - 1].ms; gap > 0)
                shortestGap = std::min(shortestGap.value_or(gap), gap);
        if (shortestGap)
            tolerance_ = std::clamp<qint64>(*shortestGap * 45 / 100, 500, 2000);
    }

    qint64 tolerance() const { return tolerance_; }
    const std::vector<Moment>& files() const { return files_; }
    const std::vector<Moment>& openings() const { return openings_; }

    // The offsets worth a full pairing: where the most (file, opening) differences crowd within
    // the tolerance. A shift by whole exposures crowds one difference fewer for each exposure
    // missing at an end, so those with one fewer than the most are tried too.
    std::vector<qint64> candidates() const
    {
        std::vector<qint64> differences;
        differences.reserve(files_.size() * openings_.size());
        for (const Moment& file : files_)
            for (const Moment& opening : openings_)
                differences.push_back(file.ms - opening.ms);
        std::sort(differences.begin(), differences.end());
        // The differences within the tolerance either side of each one, counted from it.
        const auto forEachWindow = [&](auto&& visit) {
            std::size_t end = 0;
            for (std::size_t start = 0; start < differences.size(); ++start) {
                end = std::max(end, start);
                while (end < differences.size() &&
                       differences[end] - differences[start] <= 2 * tolerance_)
                    ++end;
                visit(end - start, differences[start + (end - start - 1) / 2]);
            }
        };
        std::size_t most = 0;
        forEachWindow([&](std::size_t count, qint64) { most = std::max(most, count); });
        struct Window {
            std::size_t count;
            qint64 center; // the median of its differences
        };
        std::vector<Window> windows;
        forEachWindow([&](std::size_t count, qint64 center) {
            if (count + 1 >= most)
                windows.push_back({count, center});
        });
        std::stable_sort(windows.begin(), windows.end(),
                         [](const Window& a, const Window& b) { return a.count > b.count; });
        std::vector<qint64> chosen;
        for (const Window& window : windows) {
            if (chosen.size() >= 32)
                break;
            const bool near = std::any_of(chosen.begin(), chosen.end(), [&](qint64 offset) {
                return std::abs(offset - window.center) <= tolerance_;
            });
            if (!near)
                chosen.push_back(window.center);
        }
        return chosen;
    }

    // Pairs at the offset, moves the offset by the median residual and pairs again until it
    // settles.
    Fit refinedFit(qint64 offsetMs) const
    {
        Fit fit = fitAt(offsetMs);
        for (int round = 0; round < 4 && !fit.pairs.empty(); ++round) {
            std::vector<qint64> residuals;
            for (const Pair& pair : fit.pairs)
                residuals.push_back(pair.residualMs);
            std::nth_element(residuals.begin(), residuals.begin() + residuals.size() / 2,
                             residuals.end());
            const qint64 median = residuals[residuals.size() / 2];
            if (median == 0)
                break;
            Fit moved = fitAt(fit.offsetMs + median);
            if (moved.pairs.size() < fit.pairs.size())
                break;
            fit = std::move(moved);
        }
        return fit;
    }

private:
    // One to one, the closest pairs first.
    Fit fitAt(qint64 offsetMs) const
    {
        Fit fit;
        fit.offsetMs = offsetMs;
        std::vector<Pair> near;
        for (std::size_t i = 0; i < files_.size(); ++i) {
            const qint64 opened = files_[i].ms - offsetMs;
            auto j =
                std::lower_bound(openings_.begin(), openings_.end(), opened - tolerance_,
                                 [](const Moment& opening, qint64 ms) { return opening.ms < ms; });
            for (; j != openings_.end() && j->ms <= opened + tolerance_; ++j)
                near.push_back({qsizetype(i), j - openings_.begin(), opened - j->ms});
        }
        std::stable_sort(near.begin(), near.end(), [](const Pair& a, const Pair& b) {
            return std::abs(a.residualMs) < std::abs(b.residualMs);
        });
        std::vector<bool> fileTaken(files_.size(), false);
        std::vector<bool> openingTaken(openings_.size(), false);
        for (const Pair& pair : near) {
            if (fileTaken[pair.file] || openingTaken[pair.opening])
                continue;
            fileTaken[pair.file] = openingTaken[pair.opening] = true;
            fit.pairs.push_back(pair);
            fit.residualSum += std::abs(pair.residualMs);
            if (exposureTimeAgrees(images_[files_[pair.file].index],
                                   exposures_[openings_[pair.opening].index]))
                ++fit.agreeing;
        }
        return fit;
    }

    const QList<ImageMetadata>& images_;
    const QList<ExposureRecord>& exposures_;
    std::vector<Moment> files_;
    std::vector<Moment> openings_;
    qint64 tolerance_ = 2000;
};

QString exposureRemark(const ExposureRecord& exposure)
{
    QStringList parts;
    if (exposure.byHand())
        parts << QStringLiteral("opened by hand");
    if (exposure.cutShort())
        parts << QStringLiteral("cut short: %1").arg(exposureEndingText(exposure.ending));
    else if (exposure.ending == ExposureEnding::NoClose)
        parts << exposureEndingText(exposure.ending);
    return parts.join(QStringLiteral("; "));
}

QString joinRemarks(const QString& first, const QString& second)
{
    if (first.isEmpty() || second.isEmpty())
        return first + second;
    return first + QStringLiteral("; ") + second;
}

QString secondsText(qint64 ms)
{
    return QString::number(ms / 1000.0, 'f', 3);
}

QString countText(int count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

} // namespace

FolderImages readFolderImages(const QString& folder, const ImageMetadataReader& reader)
{
    FolderImages result;
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
        result.failure = messages::imageFolderUnreadable(QDir::toNativeSeparators(folder));
        return result;
    }
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (!reader.isImageName(name))
            continue;
        ImageMetadata image = reader.read(dir.filePath(name));
        image.fileName = name;
        result.images << image;
    }
    return result;
}

FramePairing pairFrames(const QList<ImageMetadata>& images, const QList<ExposureRecord>& exposures)
{
    FramePairing result;
    const Pairer pairer(images, exposures);
    result.toleranceMs = pairer.tolerance();

    std::optional<Fit> best;
    std::vector<Fit> fits;
    for (const qint64 candidate : pairer.candidates()) {
        fits.push_back(pairer.refinedFit(candidate));
        if (!best || fits.back().betterThan(*best))
            best = fits.back();
    }
    // One pair proves nothing when there were more to pair.
    const std::size_t needed =
        std::min<std::size_t>(2, std::min(pairer.files().size(), pairer.openings().size()));
    if (best && (best->pairs.empty() || best->pairs.size() < needed))
        best.reset();
    if (best) {
        result.offsetMs = best->offsetMs;
        for (const Fit& fit : fits)
            if (fit.pairs.size() == best->pairs.size() && fit.agreeing == best->agreeing &&
                std::abs(fit.offsetMs - best->offsetMs) > pairer.tolerance()) {
                result.rivalOffsetMs = fit.offsetMs;
                break;
            }
    }

    // Rows, each with the UTC moment it sorts by.
    struct Placed {
        int group; // 0: placed in time; 1: a camera time but no offset; 2: no time
        qint64 ms;
        FrameRow row;
    };
    std::vector<Placed> placed;
    std::vector<bool> fileDone(images.size(), false);
    std::vector<bool> exposureDone(exposures.size(), false);
    if (best)
        for (const Pair& pair : best->pairs) {
            const qsizetype i = pairer.files()[pair.file].index;
            const qsizetype j = pairer.openings()[pair.opening].index;
            fileDone[i] = exposureDone[j] = true;
            placed.push_back({0, pairer.openings()[pair.opening].ms,
                              FrameRow{images[i], exposures[j], exposureRemark(exposures[j])}});
            ++result.paired;
        }
    for (qsizetype j = 0; j < exposures.size(); ++j)
        if (!exposureDone[j]) {
            placed.push_back({0, exposures[j].openedAt.toMSecsSinceEpoch(),
                              FrameRow{std::nullopt, exposures[j],
                                       joinRemarks(QStringLiteral("no file for this exposure"),
                                                   exposureRemark(exposures[j]))}});
            ++result.exposuresWithoutFile;
        }
    for (const ExposureRecord& exposure : exposures)
        if (exposure.cutShort())
            ++result.cutShort;
    for (qsizetype i = 0; i < images.size(); ++i) {
        if (fileDone[i])
            continue;
        const ImageMetadata& image = images[i];
        if (!image.captured) {
            placed.push_back(
                {2, 0,
                 FrameRow{image, std::nullopt,
                          image.problem.isEmpty() ? QStringLiteral("no capture time in the file")
                                                  : image.problem}});
            ++result.unreadable;
        } else if (result.offsetMs) {
            placed.push_back({0, clockMs(*image.captured) - *result.offsetMs,
                              FrameRow{image, std::nullopt,
                                       QStringLiteral("no exposure in the journal at this time")}});
            ++result.filesWithoutExposure;
        } else {
            placed.push_back({1, clockMs(*image.captured),
                              FrameRow{image, std::nullopt,
                                       QStringLiteral("no exposure found: no clock offset pairs "
                                                      "the files with the journal")}});
            ++result.filesWithoutExposure;
        }
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        if (a.group != b.group)
            return a.group < b.group;
        if (a.group == 2)
            return a.row.image->fileName < b.row.image->fileName;
        return a.ms < b.ms;
    });
    for (Placed& p : placed)
        result.rows << std::move(p.row);
    return result;
}

QByteArray framesCsv(const FramePairing& pairing)
{
    QByteArray csv = "file,sequence,exposure,opened_utc,planned_s,measured_s,camera_exposure_s,"
                     "offset_s,remark\r\n";
    const QString offset = pairing.offsetMs ? secondsText(*pairing.offsetMs) : QString();
    for (const FrameRow& row : pairing.rows) {
        const std::optional<ExposureRecord>& e = row.exposure;
        const std::optional<ImageMetadata>& image = row.image;
        const QString fields[] = {
            image ? image->fileName : QString(),
            e && e->sequence ? QString::number(*e->sequence) : QString(),
            e ? QString::number(e->exposure) : QString(),
            e ? e->openedAt.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
                    QLatin1Char('Z')
              : QString(),
            e && e->plannedS ? QString::number(*e->plannedS) : QString(),
            e && e->measuredMs ? secondsText(*e->measuredMs) : QString(),
            image && image->exposureSeconds ? csvDecimal(*image->exposureSeconds, 6) : QString(),
            image && image->captured ? offset : QString(),
            row.remark,
        };
        bool first = true;
        for (const QString& field : fields) {
            if (!first)
                csv += ',';
            first = false;
            csv += csvField(field);
        }
        csv += "\r\n";
    }
    return csv;
}

QString offsetText(qint64 offsetMs)
{
    const qint64 size = std::abs(offsetMs);
    return QStringLiteral("%1%2:%3:%4.%5")
        .arg(offsetMs < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(size / 3600000)
        .arg(size / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(size / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(size % 1000, 3, 10, QLatin1Char('0'));
}

QString framePairingSummary(const FramePairing& p)
{
    const int files = p.paired + p.filesWithoutExposure + p.unreadable;
    QString text = QStringLiteral("Image files read: %1.\n").arg(files);
    if (p.offsetMs) {
        text += QStringLiteral("Camera clock offset: %1 (the camera's clock minus UTC), from %2 "
                               "paired within %3 s.\n")
                    .arg(offsetText(*p.offsetMs), countText(p.paired, "file", "files"),
                         QString::number(p.toleranceMs / 1000.0, 'f', 1));
    } else {
        text += QStringLiteral("No camera clock offset pairs the files with the exposures: "
                               "no file is paired.\n");
    }
    text += QStringLiteral("Paired: %1. Files without an exposure: %2. Exposures without a file: "
                           "%3. Exposures cut short: %4.\n")
                .arg(p.paired)
                .arg(p.filesWithoutExposure)
                .arg(p.exposuresWithoutFile)
                .arg(p.cutShort);
    if (p.rivalOffsetMs)
        text += QStringLiteral("Check the result: an offset of %1 pairs as many files just as "
                               "well, which shifts them by whole exposures.\n")
                    .arg(offsetText(*p.rivalOffsetMs));
    if (p.unreadable > 0) {
        text += QStringLiteral("Files without a capture time (%1):\n").arg(p.unreadable);
        for (const FrameRow& row : p.rows)
            if (row.image && !row.image->captured)
                text += QStringLiteral("  %1: %2\n").arg(row.image->fileName, row.remark);
    }
    return text;
}

} // namespace kestrova
