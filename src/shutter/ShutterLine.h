// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/LineFailure.h"
#include "shutter/ParallelPort.h"
#include "shutter/SerialLine.h"
#include "shutter/ShutterConfig.h"

#include <QList>
#include <optional>

namespace kestrova {

// Puts the configured camera line at the shutter-open or shutter-closed level.
//
// The line that opened the shutter is the one that closes it. A configuration that changes while
// the shutter is open takes over the next opening; until the shutter is closed, the line that
// opened it keeps its level with the polarity it was opened with, and a serial port holding it
// open is neither closed nor reopened. The closing then puts that line, and the newly configured
// one, at the shutter-closed level.
class ShutterLine {
public:
    ShutterLine(ParallelPort& parallel, SerialLine& serial);

    const ShutterConfig& config() const { return config_; }
    // The configuration in force from now on. Drives no line.
    void configure(const ShutterConfig& config);
    bool shutterOpen() const { return shutterOpen_; }

    // Both drive the line whatever its present level. On a failure they leave shutterOpen() as
    // it was.
    [[nodiscard]] LineResult openShutter();
    [[nodiscard]] LineResult closeShutter();
    // Whether a line other than the configured one holds the shutter open.
    bool heldByLineNotConfigured() const;
    // Closes the shutter only where a line other than the configured one holds it open, which
    // nothing else would ever close (for the program's exit).
    [[nodiscard]] LineResult closeLinesNotConfigured();

    // Opens the configured serial port anew, closing it first, with the control line at the
    // shutter-closed level. While a serial line holds the shutter open nothing is done now: the
    // next closing opens the configured port if it is another. The port stays closed after a
    // failure.
    [[nodiscard]] LineResult openSerialPort();
    // Whether the serial port is open on Com<commPortNumber>.
    bool serialPortOpenOn(int commPortNumber) const;

private:
    static bool sameLine(const ShutterConfig& a, const ShutterConfig& b);
    LineResult drive(const ShutterConfig& line, bool open);
    LineResult setControlLine(const ShutterConfig& line, bool level);
    bool serialHoldsShutterOpen() const;

    ParallelPort& parallel_;
    SerialLine& serial_;
    ShutterConfig config_;
    bool shutterOpen_ = false;
    // The lines the shutter was opened through since it was last closed, with the polarity each
    // was opened with.
    QList<ShutterConfig> heldOpen_;
    int openCommPort_ = 0; // the Com number the serial port was opened on
    bool serialReopenWaits_ = false;
};

} // namespace kestrova
