// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/FrameMatching.h"

#include <QString>
#include <QTextStream>
#include <optional>

// The journal's commands on the program's command line. Each returns the exit status: 0 done,
// 1 the journal or the folder could not be read (or the result not written), 2 a bad argument.

namespace kestrova {

// kestrova --journal: where the journal is and the newest night's exposures as a table.
int printJournal(QTextStream& out, QTextStream& err, const QString& folder);

// kestrova --match-frames DIR [--night DATE]: pairs the images in DIR with the exposures of the
// newest night, or of the night named YYYY-MM-DD, writes DIR/kestrova-frames.csv and prints a
// summary. Changes nothing else in DIR and never writes into an image.
int matchFrames(const QString& dir, const std::optional<QString>& night, const QString& folder,
                const ImageMetadataReader& reader, QTextStream& out, QTextStream& err);

// The file matchFrames writes in DIR.
inline constexpr char FramesFileName[] = "kestrova-frames.csv";

} // namespace kestrova
