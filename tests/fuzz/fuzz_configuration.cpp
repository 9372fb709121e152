// SPDX-License-Identifier: GPL-3.0-or-later
// Loading the active configuration from arbitrary stored texts: whatever the store holds,
// loading never throws and every value it yields is one the program can use.
#include "config/ActiveConfiguration.h"
#include "fakes/MemoryStore.h"

#include <cstdlib>
#include <iterator>

using namespace kestrova;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

// The input is split at newlines into the texts of the eight keys, in schema order; a missing
// line leaves its key absent.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n');
    test::MemoryStore store;
    int index = 0;
    for (const SettingKey& key : settings::All) {
        if (index < lines.size())
            store.set(key, QString::fromUtf8(lines[index]));
        ++index;
    }

    // From the configuration in force at start, which selects no interface.
    const LoadedConfiguration loaded = loadActiveConfiguration(store, ShutterConfig{});
    const ShutterConfig& config = loaded.config;

    bool known = config.PortAddress == 0;
    for (const LptPort& port : LptPorts)
        known = known || config.PortAddress == port.address;
    check(known);
    check((config.PortAddress == 0) ==
          (config.ParallelPortIndex < 0 || config.ParallelPortIndex >= Int16(std::size(LptPorts))));
    check(config.PortBit <= HighestDataBit);
    check(config.CommPortNumber == config.SerialPortIndex + 1);
    check(config.Use == (loaded.serialChecked     ? Interface::Serial
                         : loaded.parallelChecked ? Interface::Parallel
                                                  : Interface::None));
    check(loaded.fallbacks.size() <= int(std::size(settings::All)));
    return 0;
}
