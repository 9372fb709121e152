// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ActiveConfiguration.h"
#include "config/StoredValues.h"

namespace kestrova {

namespace {

class Reader {
public:
    explicit Reader(const SettingsStore& store) : store_(store) {}

    // The stored text as the line reads it; text that cannot be read is taken as the default.
    template <typename Reading> auto value(const SettingKey& setting, Reading reading)
    {
        if (const auto value = reading(store_.read(setting)))
            return *value;
        fallbacks_ << QStringLiteral("%1/%2").arg(QLatin1String(setting.section),
                                                  QLatin1String(setting.key));
        return *reading(QString::fromLatin1(setting.defaultText));
    }
    QStringList fallbacks() const { return fallbacks_; }

private:
    const SettingsStore& store_;
    QStringList fallbacks_;
};

} // namespace

LoadedConfiguration loadActiveConfiguration(const SettingsStore& store,
                                            const ShutterConfig& previous)
{
    using namespace settings;
    Reader reader(store);
    LoadedConfiguration loaded;
    loaded.parallelChecked = reader.value(ParallelControl, stored::flag);
    loaded.serialChecked = reader.value(SerialControl, stored::flag);

    ShutterConfig& config = loaded.config;
    config = previous;
    config.ParallelPortIndex = reader.value(ParallelPortIndex, stored::portIndex);
    config.PortAddress = parallelPortAddress(config.ParallelPortIndex);
    config.PortBit = reader.value(ParallelPortBit, stored::dataBit);
    config.CommPortNumber = reader.value(SerialPortIndex, stored::comPortNumber);
    config.SerialPortIndex = static_cast<Int16>(config.CommPortNumber - 1);
    config.ControlLine = reader.value(SerialControlLine, stored::controlLine);

    // Both checked: the serial interface wins, after the parallel polarity has been read.
    if (loaded.parallelChecked) {
        config.Use = Interface::Parallel;
        config.ActiveLogic = reader.value(ParallelActiveLogic, stored::flag);
    }
    if (loaded.serialChecked) {
        config.Use = Interface::Serial;
        config.ActiveLogic = reader.value(SerialActiveLogic, stored::flag);
    }
    loaded.fallbacks = reader.fallbacks();
    return loaded;
}

bool saveInterfaceChoice(SettingsStore& store, bool serial)
{
    using namespace settings;
    // Both keys are written whatever becomes of the first. The other interface is cleared
    // first: a store that refuses the second write then holds neither interface, never both.
    const bool cleared = store.save(serial ? ParallelControl : SerialControl, QStringLiteral("0"));
    const bool chosen = store.save(serial ? SerialControl : ParallelControl, QStringLiteral("1"));
    return cleared && chosen;
}

} // namespace kestrova
