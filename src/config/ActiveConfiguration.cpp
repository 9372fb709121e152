// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ActiveConfiguration.h"
#include "config/Messages.h"
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
    config.PortBit = reader.value(ParallelPortBit, stored::dataBit);
    config.SerialPortIndex =
        static_cast<Int16>(reader.value(SerialPortIndex, stored::comPortNumber) - 1);
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

std::optional<Failure> saveInterfaceChoice(SettingsStore& store, Interface chosen)
{
    using namespace settings;
    // Both keys in one save, the other interface's first: a store that refuses part of it then
    // holds neither interface, never both.
    const bool serial = chosen == Interface::Serial;
    const SettingKey& other = serial ? ParallelControl : SerialControl;
    const SettingKey& choice = serial ? SerialControl : ParallelControl;
    return store.save(
        {{QLatin1String(other.section), QLatin1String(other.key), QStringLiteral("0")},
         {QLatin1String(choice.section), QLatin1String(choice.key), QStringLiteral("1")}},
        messages::interfaceChoiceNotSaved(serial ? QStringLiteral("Serial")
                                                 : QStringLiteral("Parallel")));
}

} // namespace kestrova
