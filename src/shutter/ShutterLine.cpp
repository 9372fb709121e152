// SPDX-License-Identifier: GPL-3.0-or-later
#include "shutter/ShutterLine.h"

namespace kestrova {

Int16 parallelPortAddress(Int16 portIndex)
{
    switch (portIndex) {
    case 0:
        return 888; // 0x378, LPT1
    case 1:
        return 632; // 0x278, LPT2
    case 2:
        return 956; // 0x3BC, LPT3
    default:
        return 0;
    }
}

ShutterLine::ShutterLine(ParallelPort& parallel, SerialLine& serial)
    : parallel_(parallel), serial_(serial)
{
}

void ShutterLine::openShutter()
{
    drive(true);
    shutterOpen_ = true;
}

void ShutterLine::closeShutter()
{
    drive(false);
    shutterOpen_ = false;
}

void ShutterLine::drive(bool open)
{
    const bool level = open ? config_.ActiveLogic : !config_.ActiveLogic;
    if (config_.UseParallel) {
        // An unknown port index has no address; writing to I/O address 0 would hit whatever
        // lives there, so it is reported instead.
        if (config_.PortAddress == 0)
            throw LineFailure(
                QStringLiteral("The parallel port selected is not available"),
                QStringLiteral("The stored parallel port (index %1) is not LPT1, LPT2 or LPT3. "
                               "Choose a port under Options....")
                    .arg(config_.ParallelPortIndex));
        if (level)
            parallel_.setPortBit(config_.PortAddress, config_.PortBit);
        else
            parallel_.clrPortBit(config_.PortAddress, config_.PortBit);
    }
    if (config_.UseSerial) {
        const bool rts = config_.ControlLine == QLatin1String("RTS");
        const bool dtr = config_.ControlLine == QLatin1String("DTR");
        if (!rts && !dtr)
            return;
        // A closed port applies its stored levels when it opens next. It keeps a closed level
        // for then, but never an open level that the camera did not see and the user was told
        // had failed: that would open the shutter later by itself.
        const bool store = serial_.isOpen() || !open;
        if (store && rts)
            serial_.setRtsEnable(level);
        else if (store)
            serial_.setDtrEnable(level);
        if (!serial_.isOpen())
            throw LineFailure(QString::fromLatin1(messages::ComPortNotAvailable),
                              QStringLiteral("Com%1 is not open, so the shutter line was not "
                                             "switched. Choose a port under Options... or "
                                             "Interface, Serial to try again.")
                                  .arg(config_.CommPortNumber));
    }
}

std::optional<LineFailure> ShutterLine::openSerialPort()
{
    if (serial_.isOpen())
        serial_.close();
    // The port applies its stored levels at once when it opens: the configured line's must be
    // the level the shutter is at, closed unless it is open, or the open would move it. The
    // closed level "line set" survives the release only without the system's hang-up on close.
    const bool level = shutterOpen_ ? config_.ActiveLogic : !config_.ActiveLogic;
    if (config_.ControlLine == QLatin1String("RTS"))
        serial_.setRtsEnable(level);
    else if (config_.ControlLine == QLatin1String("DTR"))
        serial_.setDtrEnable(level);
    serial_.setKeepLevelsOnRelease(!config_.ActiveLogic);
    try {
        serial_.open(config_.CommPortNumber);
    } catch (const LineFailure& failure) {
        return failure;
    }
    return std::nullopt;
}

} // namespace kestrova
