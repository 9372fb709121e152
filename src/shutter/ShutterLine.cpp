// SPDX-License-Identifier: GPL-3.0-or-later
#include "shutter/ShutterLine.h"

#include <QStringList>
#include <iterator>

namespace kestrova {

namespace {

// "LPT1, LPT2 or LPT3"
QString lptPortNames()
{
    QStringList names;
    for (const LptPort& port : LptPorts)
        names << QLatin1String(port.name);
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

} // namespace

Int16 parallelPortAddress(Int16 portIndex)
{
    return portIndex >= 0 && portIndex < Int16(std::size(LptPorts))
               ? Int16(LptPorts[portIndex].address)
               : Int16(0);
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
    if (config_.Use == Interface::Parallel) {
        // An unknown port index has no address; writing to I/O address 0 would hit whatever
        // lives there, so it is reported instead.
        if (config_.PortAddress == 0)
            throw LineFailure(
                QString::fromLatin1(messages::SelectedParallelPortNotAvailable),
                messages::parallelIndexUnknown(config_.ParallelPortIndex, lptPortNames()));
        if (level)
            parallel_.setPortBit(config_.PortAddress, config_.PortBit);
        else
            parallel_.clrPortBit(config_.PortAddress, config_.PortBit);
    }
    if (config_.Use == Interface::Serial) {
        // A closed port applies its stored levels when it opens next. It keeps a closed level
        // for then, but never an open level that the camera did not see and the user was told
        // had failed: that would open the shutter later by itself.
        if (serial_.isOpen() || !open)
            setControlLine(level);
        if (!serial_.isOpen())
            throw LineFailure(QString::fromLatin1(messages::ComPortNotAvailable),
                              messages::comPortNotOpen(config_.CommPortNumber));
    }
}

void ShutterLine::setControlLine(bool level)
{
    if (config_.ControlLine == ControlLine::Rts)
        serial_.setRtsEnable(level);
    else
        serial_.setDtrEnable(level);
}

std::optional<LineFailure> ShutterLine::openSerialPort()
{
    if (serial_.isOpen())
        serial_.close();
    // The port applies its stored levels at once when it opens: the configured line's must be
    // the level the shutter is at, closed unless it is open, or the open would move it. The
    // closed level "line set" survives the release only without the system's hang-up on close.
    const bool level = shutterOpen_ ? config_.ActiveLogic : !config_.ActiveLogic;
    setControlLine(level);
    serial_.setKeepLevelsOnRelease(!config_.ActiveLogic);
    try {
        serial_.open(config_.CommPortNumber);
    } catch (const LineFailure& failure) {
        return failure;
    }
    return std::nullopt;
}

} // namespace kestrova
