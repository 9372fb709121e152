// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/Exiv2ImageReader.h"

#include <QFile>
#include <QFileInfo>
#include <exception>
#include <exiv2/exiv2.hpp>

namespace kestrova {

namespace {

// The formats whose Exif data Debian 12's libexiv2 (0.27.6, built with BMFF support) reads, by
// their usual extensions. It tells a file's format from its content, not its name; the name
// only keeps other files in the folder out of the list of files that could not be read.
//   JPEG; TIFF; the TIFF-based raws: DNG, NEF and NRW (Nikon), ARW, SR2 and SRF (Sony), SRW
//   (Samsung), PEF (Pentax), 3FR (Hasselblad), ERF (Epson), KDC and DCR (Kodak), MOS (Leaf),
//   IIQ (Phase One); CR2, CRW and CR3 (Canon); ORF (Olympus); RAF (Fujifilm); RW2 and RWL
//   (Panasonic, Leica); MRW (Minolta); HEIF, HEIC, AVIF and JPEG XL; PNG; WebP; JPEG 2000.
const QStringList Extensions = {
    QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("jpe"),  QStringLiteral("tif"),
    QStringLiteral("tiff"), QStringLiteral("dng"),  QStringLiteral("nef"),  QStringLiteral("nrw"),
    QStringLiteral("arw"),  QStringLiteral("sr2"),  QStringLiteral("srf"),  QStringLiteral("srw"),
    QStringLiteral("pef"),  QStringLiteral("3fr"),  QStringLiteral("erf"),  QStringLiteral("kdc"),
    QStringLiteral("dcr"),  QStringLiteral("mos"),  QStringLiteral("iiq"),  QStringLiteral("cr2"),
    QStringLiteral("crw"),  QStringLiteral("cr3"),  QStringLiteral("orf"),  QStringLiteral("raf"),
    QStringLiteral("rw2"),  QStringLiteral("rwl"),  QStringLiteral("mrw"),  QStringLiteral("heif"),
    QStringLiteral("heic"), QStringLiteral("hif"),  QStringLiteral("avif"), QStringLiteral("jxl"),
    QStringLiteral("png"),  QStringLiteral("webp"), QStringLiteral("jp2"),
};

std::optional<QString> exifText(const Exiv2::ExifData& exif, const char* key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end() || found->count() == 0)
        return std::nullopt;
    const QString text = QString::fromStdString(found->toString()).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

// "2026:12:07 22:04:05" and the digits of the fraction of its second, "12" for 0.12 s.
std::optional<QDateTime> exifDateTime(const QString& text, const std::optional<QString>& fraction)
{
    QDateTime moment = QDateTime::fromString(text.left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!moment.isValid())
        return std::nullopt;
    // A clock reading without a zone: held as UTC, which has no daylight saving gaps.
    moment = QDateTime(moment.date(), moment.time(), Qt::UTC);
    if (fraction) {
        QString digits;
        for (const QChar c : *fraction) {
            if (!c.isDigit())
                break;
            digits += c;
        }
        if (!digits.isEmpty())
            moment = moment.addMSecs(digits.left(3).leftJustified(3, QLatin1Char('0')).toInt());
    }
    return moment;
}

} // namespace

Exiv2ImageReader::Exiv2ImageReader()
{
    // libexiv2 writes its warnings to standard error itself; the reasons it throws are kept.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::enableBMFF(true); // CR3, HEIF, AVIF and JPEG XL are read only when asked for
}

QStringList Exiv2ImageReader::extensions()
{
    return Extensions;
}

bool Exiv2ImageReader::isImageName(const QString& fileName) const
{
    return Extensions.contains(QFileInfo(fileName).suffix().toLower());
}

QString Exiv2ImageReader::formatsText() const
{
    return QStringLiteral("JPEG, TIFF, HEIF and the raw formats libexiv2 reads: *.%1")
        .arg(Extensions.join(QStringLiteral(", *.")));
}

ImageMetadata Exiv2ImageReader::read(const QString& filePath) const
{
    ImageMetadata image;
    image.fileName = QFileInfo(filePath).fileName();
    try {
        // Opened through its path, the file is only read: nothing here writes metadata back.
        // An absolute path, and no curl, so that no file name ("-", "http://...") is taken for
        // standard input or a web address.
        const auto file = Exiv2::ImageFactory::open(
            QFile::encodeName(QFileInfo(filePath).absoluteFilePath()).toStdString(), false);
        file->readMetadata();
        const Exiv2::ExifData& exif = file->exifData();
        if (exif.empty()) {
            image.problem = QStringLiteral("no Exif data in the file");
            return image;
        }
        if (const auto original = exifText(exif, "Exif.Photo.DateTimeOriginal"))
            image.captured =
                exifDateTime(*original, exifText(exif, "Exif.Photo.SubSecTimeOriginal"));
        else if (const auto changed = exifText(exif, "Exif.Image.DateTime"))
            image.captured = exifDateTime(*changed, exifText(exif, "Exif.Photo.SubSecTime"));
        if (!image.captured)
            image.problem = QStringLiteral("no capture time (DateTimeOriginal) in its Exif data");

        const auto exposure = exif.findKey(Exiv2::ExifKey("Exif.Photo.ExposureTime"));
        if (exposure != exif.end() && exposure->count() > 0) {
            const Exiv2::Rational time = exposure->toRational();
            if (time.second > 0 && time.first >= 0)
                image.exposureSeconds = double(time.first) / time.second;
        }
    } catch (const Exiv2::AnyError& error) {
        image.problem = QString::fromStdString(error.what());
    } catch (const std::exception& error) {
        image.problem = QString::fromStdString(error.what());
    } catch (...) {
        image.problem = QStringLiteral("libexiv2 could not read the file");
    }
    return image;
}

} // namespace kestrova
