// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ActiveConfiguration.h"
#include "config/Conversions.h"

namespace kestrova {

namespace {

class Reader {
public:
    explicit Reader(const SettingsStore& store) : store_(store) {}

    // Converts the stored text; text that does not convert is taken as the default.
    template <typename Convert> auto value(const SettingKey& setting, Convert convert)
    {
        try {
            return convert(store_.read(setting));
        } catch (const std::exception&) {
            fallbacks_ << QStringLiteral("%1/%2").arg(QLatin1String(setting.section),
                                                      QLatin1String(setting.key));
            return convert(QLatin1String(setting.defaultText));
        }
    }
    QString text(const SettingKey& setting) const { return store_.read(setting); }
    QStringList fallbacks() const { return fallbacks_; }

private:
    const SettingsStore& store_;
    QStringList fallbacks_;
};

std::uint8_t toDataBit(const QString& text)
{
    // Only D0..D7 exist on the data register; a larger bit number could never reach the cable.
    const std::uint8_t bit = toByte(text);
    if (bit > HighestDataBit)
        throw ConversionError(text);
    return bit;
}

Int16 toCommPortNumber(const QString& text)
{
    return add16(toInt16(text), 1);
}

} // namespace

LoadedConfiguration loadActiveConfiguration(const SettingsStore& store,
                                            const ShutterConfig& previous)
{
    using namespace settings;
    Reader reader(store);
    LoadedConfiguration loaded;
    loaded.parallelChecked = reader.value(ParallelControl, toBoolean);
    loaded.serialChecked = reader.value(SerialControl, toBoolean);

    ShutterConfig& config = loaded.config;
    config = previous;
    config.ParallelPortIndex = reader.value(ParallelPortIndex, toInt16);
    config.PortAddress = parallelPortAddress(config.ParallelPortIndex);
    config.PortBit = reader.value(ParallelPortBit, toDataBit);
    config.CommPortNumber = reader.value(SerialPortIndex, toCommPortNumber);
    config.SerialPortIndex = static_cast<Int16>(config.CommPortNumber - 1);
    // Only the exact text "0" is RTS, as the options list stores it; anything else is DTR.
    config.ControlLine =
        reader.text(SerialControlLine) == QLatin1String("0") ? ControlLine::Rts : ControlLine::Dtr;

    // Both checked: the serial interface wins, after the parallel polarity has been read.
    if (loaded.parallelChecked) {
        config.Use = Interface::Parallel;
        config.ActiveLogic = reader.value(ParallelActiveLogic, toBoolean);
    }
    if (loaded.serialChecked) {
        config.Use = Interface::Serial;
        config.ActiveLogic = reader.value(SerialActiveLogic, toBoolean);
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
