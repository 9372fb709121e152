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
        return a.PortAddress == b.PortAddress && a.PortBit == b.PortBit;
    case Interface::Serial:
        return a.CommPortNumber == b.CommPortNumber && a.ControlLine == b.ControlLine;
    case Interface::None:
        break;
    }
    return true;
}

void ShutterLine::openShutter()
{
    drive(config_, true);
    if (std::none_of(heldOpen_.begin(), heldOpen_.end(),
                     [this](const ShutterConfig& held) { return sameLine(held, config_); }))
        heldOpen_ << config_;
    shutterOpen_ = true;
}

// The lines that opened the shutter under an earlier configuration are closed first, as they
// were opened, then the serial port may be opened anew, then the configured line is closed. Each
// is tried whatever became of the others; the first failure is thrown, and a line that failed
// stays to be closed again next time.
void ShutterLine::closeShutter()
{
    std::optional<LineFailure> failure;
    const auto attempt = [&failure](auto&& step) {
        try {
            step();
            return true;
        } catch (const LineFailure& refused) {
            if (!failure)
                failure = refused;
            return false;
        }
    };
    for (qsizetype i = 0; i < heldOpen_.size();) {
        const ShutterConfig held = heldOpen_[i];
        // A serial port that is gone holds no line any more: its closed level is stored for
        // its next open.
        const bool closed = sameLine(held, config_) || attempt([&] { drive(held, false); }) ||
                            (held.Use == Interface::Serial && !serial_.isOpen());
        if (closed && !sameLine(held, config_))
            heldOpen_.removeAt(i);
        else
            ++i;
    }
    if (!serialHoldsShutterOpen() && std::exchange(serialReopenWaits_, false) &&
        !(config_.Use == Interface::Serial && serialPortOpenOn(config_.CommPortNumber)))
        attempt([this] {
            if (std::optional<LineFailure> refused = openSerialPort())
                throw *refused;
        });
    if (attempt([this] { drive(config_, false); }))
        heldOpen_.removeIf([this](const ShutterConfig& held) { return sameLine(held, config_); });
    if (failure)
        throw *failure;
    shutterOpen_ = false;
}

bool ShutterLine::heldByLineNotConfigured() const
{
    return std::any_of(heldOpen_.begin(), heldOpen_.end(),
                       [this](const ShutterConfig& held) { return !sameLine(held, config_); });
}

void ShutterLine::closeLinesNotConfigured()
{
    if (heldByLineNotConfigured())
        closeShutter();
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

void ShutterLine::drive(const ShutterConfig& line, bool open)
{
    const bool level = open ? line.ActiveLogic : !line.ActiveLogic;
    if (line.Use == Interface::Parallel) {
        // An unknown port index has no address; writing to I/O address 0 would hit whatever
        // lives there, so it is reported instead.
        if (line.PortAddress == 0)
            throw LineFailure(
                QString::fromLatin1(messages::SelectedParallelPortNotAvailable),
                messages::parallelIndexUnknown(line.ParallelPortIndex, lptPortNames()));
        if (level)
            parallel_.setPortBit(line.PortAddress, line.PortBit);
        else
            parallel_.clrPortBit(line.PortAddress, line.PortBit);
    }
    if (line.Use == Interface::Serial) {
        // A closed port applies its stored levels when it opens next. It keeps a closed level
        // for then, but never an open level that the camera did not see and the user was told
        // had failed: that would open the shutter later by itself.
        if (serial_.isOpen() || !open)
            setControlLine(line, level);
        if (!serial_.isOpen())
            throw LineFailure(QString::fromLatin1(messages::ComPortNotAvailable),
                              messages::comPortNotOpen(line.CommPortNumber));
    }
}

void ShutterLine::setControlLine(const ShutterConfig& line, bool level)
{
    if (line.ControlLine == ControlLine::Rts)
        serial_.setRtsEnable(level);
    else
        serial_.setDtrEnable(level);
}

std::optional<LineFailure> ShutterLine::openSerialPort()
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
    // the release only without the system's hang-up on close.
    setControlLine(config_, !config_.ActiveLogic);
    serial_.setKeepLevelsOnRelease(!config_.ActiveLogic);
    try {
        serial_.open(config_.CommPortNumber);
    } catch (const LineFailure& failure) {
        return failure;
    }
    openCommPort_ = config_.CommPortNumber;
    return std::nullopt;
}

} // namespace kestrova
