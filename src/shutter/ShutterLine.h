// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/LineFailure.h"
#include "shutter/ParallelPort.h"
#include "shutter/SerialLine.h"
#include "shutter/ShutterConfig.h"

#include <optional>

namespace kestrova {

// Puts the configured camera line at the shutter-open or shutter-closed level.
class ShutterLine {
public:
    ShutterLine(ParallelPort& parallel, SerialLine& serial);

    ShutterConfig& config() { return config_; }
    const ShutterConfig& config() const { return config_; }
    bool shutterOpen() const { return shutterOpen_; }

    // Both drive the line whatever its present level. On a failure they throw LineFailure and
    // leave shutterOpen() as it was.
    void openShutter();
    void closeShutter();

    // Closes the serial port if it is open and opens CommPortNumber with the control line at
    // the level the shutter is at. Returns the failure to report, if any; the port stays
    // closed then.
    std::optional<LineFailure> openSerialPort();

private:
    void drive(bool open);
    void setControlLine(bool level);

    ParallelPort& parallel_;
    SerialLine& serial_;
    ShutterConfig config_;
    bool shutterOpen_ = false;
};

} // namespace kestrova
