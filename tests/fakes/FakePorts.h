// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/LineFailure.h"
#include "shutter/ParallelPort.h"
#include "shutter/SerialLine.h"

#include <QMap>
#include <QStringList>
#include <chrono>

namespace kestrova::test {

// A parallel port that records each write as "set 888 1" or "clr 888 1", with the time it was
// made, and keeps the bytes.
class FakeParallelPort : public ParallelPort {
public:
    LineResult setPortBit(int address, std::uint8_t bit) override { return write(address, bit, 1); }
    LineResult clrPortBit(int address, std::uint8_t bit) override { return write(address, bit, 0); }

    bool bitSet(int address, int bit) const { return bytes.value(address) & (1 << bit); }

    QStringList writes;
    QList<std::chrono::steady_clock::time_point> times;
    QMap<int, int> bytes;
    bool fail = false;                       // every write fails
    bool failSet = false, failClear = false; // only setting, or only clearing, fails

private:
    LineResult write(int address, std::uint8_t bit, bool set)
    {
        if (fail || (set ? failSet : failClear))
            return LineFailure{QStringLiteral("The parallel port LPT1 (0x378) is not available"),
                               QStringLiteral("unplugged")};
        writes << QStringLiteral("%1 %2 %3").arg(set ? "set" : "clr").arg(address).arg(bit);
        times << std::chrono::steady_clock::now();
        bytes[address] =
            set ? (bytes.value(address) | (1 << bit)) : (bytes.value(address) & ~(1 << bit));
        return std::nullopt;
    }
};

// A serial line with stored RTS/DTR levels, like the real adapter, recording every call.
class FakeSerialLine : public SerialLine {
public:
    bool isOpen() const override { return opened; }
    LineResult open(int commPortNumber) override
    {
        calls << QStringLiteral("open %1").arg(commPortNumber);
        if (refuseOpen)
            return LineFailure{QString::fromLatin1(messages::ComPortNotAvailable),
                               QStringLiteral("Com%1: no such device").arg(commPortNumber)};
        opened = true;
        return std::nullopt;
    }
    void close() override
    {
        calls << QStringLiteral("close");
        opened = false;
    }
    void setKeepLevelsOnRelease(bool) override {}
    LineResult setRtsEnable(bool on) override { return setLine("RTS", rts, on); }
    LineResult setDtrEnable(bool on) override { return setLine("DTR", dtr, on); }
    bool rtsEnable() const override { return rts; }
    bool dtrEnable() const override { return dtr; }

    QStringList calls;
    bool opened = false, refuseOpen = false, rts = false, dtr = false;

private:
    LineResult setLine(const char* name, bool& level, bool on)
    {
        calls << QStringLiteral("%1 %2").arg(QLatin1String(name), on ? "on" : "off");
        level = on;
        return std::nullopt;
    }
};

} // namespace kestrova::test
