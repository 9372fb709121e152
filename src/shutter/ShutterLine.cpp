// SPDX-License-Identifier: GPL-3.0-or-later
#include "shutter/ShutterLine.h"

#include <QStringList>
#include <algorithm>
#include <iterator>
#include <utility>

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

ShutterLine::ShutterLine(ParallelPort& parallel, SerialLine& serial)
    : parallel_(parallel), serial_(serial)
{
}

void ShutterLine::configure(const ShutterConfig& config)
{
    config_ = config;
    // Only a configured serial port is opened at the closing.
    if (config_.Use != Interface::Serial)
        serialReopenWaits_ = false;
}

bool ShutterLine::sameLine(const ShutterConfig& a, const ShutterConfig& b)
{
    if (a.Use != b.Use || a.ActiveLogic != b.ActiveLogic)
        return false;
    switch (a.Use) {
    case Interface::Parallel:
        return a.portAddress() == b.portAddress() && a.PortBit == b.PortBit;
    case Interface::Serial:
        return a.SerialPortIndex == b.SerialPortIndex && a.ControlLine == b.ControlLine;
    case Interface::None:
        break;
    }
    return true;
}

LineResult ShutterLine::openShutter()
{
    if (LineResult failed = drive(config_, true))
        return failed;
    if (std::none_of(heldOpen_.begin(), heldOpen_.end(),
                     [this](const ShutterConfig& held) { return sameLine(held, config_); }))
        heldOpen_ << config_;
    shutterOpen_ = true;
    return std::nullopt;
}

// The lines that opened the shutter under an earlier configuration are closed first, as they
// were opened, then the serial port may be opened anew, then the configured line is closed. Each
// is tried whatever became of the others; the first failure is returned, and a line that failed
// stays to be closed again next time.
LineResult ShutterLine::closeShutter()
{
    LineResult first;
    const auto attempt = [&first](LineResult result) {
        if (result && !first)
            first = std::move(result);
        return !result;
    };
    for (qsizetype i = 0; i < heldOpen_.size();) {
        const ShutterConfig held = heldOpen_[i];
        // A serial port that is gone holds no line any more: its closed level is stored for
        // its next open.
        const bool closed = sameLine(held, config_) || attempt(drive(held, false)) ||
                            (held.Use == Interface::Serial && !serial_.isOpen());
        if (closed && !sameLine(held, config_))
            heldOpen_.removeAt(i);
        else
            ++i;
    }
    if (!serialHoldsShutterOpen() && std::exchange(serialReopenWaits_, false) &&
        !(config_.Use == Interface::Serial && serialPortOpenOn(config_.commPortNumber())))
        attempt(openSerialPort());
    if (attempt(drive(config_, false)))
        heldOpen_.removeIf([this](const ShutterConfig& held) { return sameLine(held, config_); });
    if (first)
        return first;
    shutterOpen_ = false;
    return std::nullopt;
}

bool ShutterLine::heldByLineNotConfigured() const
{
    return std::any_of(heldOpen_.begin(), heldOpen_.end(),
                       [this](const ShutterConfig& held) { return !sameLine(held, config_); });
}

LineResult ShutterLine::closeLinesNotConfigured()
{
    return heldByLineNotConfigured() ? closeShutter() : std::nullopt;
}

// A port released since (a hang-up) holds no line any more.
bool ShutterLine::serialHoldsShutterOpen() const
{
    return serial_.isOpen() &&
           std::any_of(heldOpen_.begin(), heldOpen_.end(),
                       [](const ShutterConfig& held) { return held.Use == Interface::Serial; });
}

bool ShutterLine::serialPortOpenOn(int commPortNumber) const
{
    return serial_.isOpen() && openCommPort_ == commPortNumber;
}

LineResult ShutterLine::drive(const ShutterConfig& line, bool open)
{
    const bool level = open ? line.ActiveLogic : !line.ActiveLogic;
    if (line.Use == Interface::Parallel) {
        // An unknown port index has no address; writing to I/O address 0 would hit whatever
        // lives there, so it is reported instead.
        const int address = line.portAddress();
        if (address == 0)
            return LineFailure{
                QString::fromLatin1(messages::SelectedParallelPortNotAvailable),
                messages::parallelIndexUnknown(line.ParallelPortIndex, lptPortNames())};
        return level ? parallel_.setPortBit(address, line.PortBit)
                     : parallel_.clrPortBit(address, line.PortBit);
    }
    if (line.Use == Interface::Serial) {
        // A closed port applies its stored levels when it opens next. It keeps a closed level
        // for then, but never an open level that the camera did not see and the user was told
        // had failed: that would open the shutter later by itself.
        if (serial_.isOpen() || !open) {
            if (LineResult failed = setControlLine(line, level))
                return failed;
        }
        if (!serial_.isOpen())
            return LineFailure{QString::fromLatin1(messages::ComPortNotAvailable),
                               messages::comPortNotOpen(line.commPortNumber())};
    }
    return std::nullopt;
}

LineResult ShutterLine::setControlLine(const ShutterConfig& line, bool level)
{
    return line.ControlLine == ControlLine::Rts ? serial_.setRtsEnable(level)
                                                : serial_.setDtrEnable(level);
}

LineResult ShutterLine::openSerialPort()
{
    // Releasing and opening the port would drop and raise the line that holds the shutter open.
    if (serialHoldsShutterOpen()) {
        serialReopenWaits_ = true;
        return std::nullopt;
    }
    if (serial_.isOpen())
        serial_.close();
    // The port applies its stored levels at once when it opens: the configured line's must be
    // the shutter-closed level, or the open would move it. The closed level "line set" survives
    // the release only without the system's hang-up on close. The port is closed, so the level
    // is only stored.
    [[maybe_unused]] const LineResult stored = setControlLine(config_, !config_.ActiveLogic);
    serial_.setKeepLevelsOnRelease(!config_.ActiveLogic);
    if (LineResult failed = serial_.open(config_.commPortNumber()))
        return failed;
    openCommPort_ = config_.commPortNumber();
    return std::nullopt;
}

} // namespace kestrova
