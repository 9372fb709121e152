// SPDX-License-Identifier: GPL-3.0-or-later
// Loading the active configuration from arbitrary stored texts: whatever the store holds,
// loading never throws and every value it yields is one the program can use.
#include "config/ActiveConfiguration.h"
#include "fakes/FakeInterfaceMenu.h"
#include "fakes/MemoryStore.h"

#include <cstdlib>
#include <vector>

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

    test::FakeInterfaceMenu menu;
    ShutterConfig config;
    int serialOpens = 0;
    const QStringList fallbacks =
        loadActiveConfiguration(store, menu, config, [&] { ++serialOpens; });

    const std::vector<int> addresses{0, 888, 632, 956};
    check(std::find(addresses.begin(), addresses.end(), config.PortAddress) != addresses.end());
    check((config.PortAddress == 0) ==
          (config.ParallelPortIndex < 0 || config.ParallelPortIndex > 2));
    check(config.PortBit <= 7);
    check(config.CommPortNumber == config.SerialPortIndex + 1);
    check(config.ControlLine == QLatin1String("RTS") || config.ControlLine == QLatin1String("DTR"));
    check(!(config.UseParallel && config.UseSerial));
    check(config.UseSerial == menu.serial || (!menu.parallel && !menu.serial));
    check(serialOpens == (menu.serial ? 1 : 0));
    check(fallbacks.size() <= int(std::size(settings::All)));
    return 0;
}
