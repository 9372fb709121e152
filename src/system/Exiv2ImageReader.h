// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/FrameMatching.h"

#include <QStringList>

namespace kestrova {

// Reads capture times and exposure times with libexiv2. Files are only ever opened for reading.
class Exiv2ImageReader : public ImageMetadataReader {
public:
    Exiv2ImageReader();

    // The file name extensions looked at, lower case without the dot.
    static QStringList extensions();

    bool isImageName(const QString& fileName) const override;
    QString formatsText() const override;
    // DateTimeOriginal with SubSecTimeOriginal, else DateTime with SubSecTime; ExposureTime.
    // Whatever libexiv2 throws becomes the problem text.
    ImageMetadata read(const QString& filePath) const override;
};

} // namespace kestrova
