// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/Sequencer.h"
#include "shutter/ShutterConfig.h"

#include <QDateTime>
#include <QString>

namespace kestrova {

// Where a running sequence stands, as the progress line shows it.
struct ProgressPoint {
    int exposure = 0;  // the one open; in a pause, the last one taken
    int exposures = 0; // N
    bool pausing = false;
    bool settling = false; // in a pause, the guider settles after a dither
    int phaseElapsed = 0;  // seconds of this exposure or pause
    int phaseLength = 0;
    int totalElapsed = 0; // seconds of the whole sequence
    int total = 0;
    QString timeLeft; // "hh:mm:ss", the window's read-out
};

// The one line a terminal redraws in place, at most columns - 1 wide (the last column would
// wrap): "Exposure 2 of 40: 118 of 300 s [#####.....] 03:12:45 left". The bar, the whole
// sequence's, goes first when the terminal is narrow.
QString progressLine(const ProgressPoint& point, int columns);

// The plain lines, one per edge, for logs and scripts.
QString exposureOpenedText(int exposure, int exposures, int plannedSeconds);
QString exposureClosedText(int exposure, int exposures, Ending ending, const QString& timeLeft);
// A line of a log: "2026-12-07 21:04:05 " and the text.
QString logLine(const QDateTime& at, const QString& text);

// "Com1 (/dev/ttyUSB0) RTS, active low", "LPT1 (0x378) D1, active high".
QString lineText(const ShutterConfig& config, const QString& serialDevice);

} // namespace kestrova
