// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/Controller.h"
#include "fakes/FakePorts.h"
#include "fakes/FakeTickSource.h"
#include "fakes/MemoryStore.h"

#include <memory>
#include <utility>

namespace kestrova::test {

// The controller on fakes of the store, both ports and its timer, keeping every message it
// tells. The store may be one the test keeps across several controllers, as across restarts.
struct ControllerRig {
    explicit ControllerRig(MemoryStore* sharedStore = nullptr)
        : store(sharedStore ? *sharedStore : ownStore_)
    {
    }
    virtual ~ControllerRig() { controller.reset(); } // before the ports, the store and the timer

    // A new controller on the stored settings, loaded; the rig deletes the last one it made.
    // A port given here must outlive it.
    void open(SerialLine* line = nullptr, const SerialPortEnumerator* serialPorts = nullptr,
              TickSource* timer = nullptr)
    {
        make(line, serialPorts, timer).load();
    }

    // Acts as a user would, word by word. Each word goes to playWord() first, then: "N,E,D"
    // enters a sequence and starts it; "cmdConnect", "cmdCancel", "mnuParallel" and
    // "mnuSerial" as their controls; "Section/Key=text" saves values as one change, as the
    // options dialog does, "_" for a blank and ";" between values
    // ("Parallel_Options/PortBit=5;Parallel_Options/ActiveLogic=1"); "tick" ticks once, "run"
    // until the sequence ends, "fail" makes the parallel port fail, "unload" ends the program.
    void play(const QString& script);
    // The line driven since the last call: parallel writes, then serial calls.
    QStringList driven()
    {
        return std::exchange(parallel.writes, {}) + std::exchange(serial.calls, {});
    }

    // The read-outs as the sequencer last told them, the three time, exposure time and count.
    QString readouts() const { return totalTime_ + ' ' + exposureTime_ + ' ' + exposures_; }

    QList<Failure> messages;
    MemoryStore& store;
    FakeParallelPort parallel;
    FakeSerialLine serial;
    FakeTickSource* ticks = nullptr; // the controller's
    std::unique_ptr<Controller> controller;

    // A new controller, not yet loaded.
    Controller& make(SerialLine* line = nullptr, const SerialPortEnumerator* serialPorts = nullptr,
                     TickSource* timer = nullptr);

protected:
    // Plays a word the rig's own way; false to leave it to play().
    virtual bool playWord(const QString&) { return false; }

private:
    QString totalTime_ = QStringLiteral("00:00:00"), exposureTime_ = QStringLiteral("0"),
            exposures_ = QStringLiteral("0");
    MemoryStore ownStore_;
    std::unique_ptr<FakeTickSource> ownTicks_;
};

} // namespace kestrova::test
