// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a registry value of arbitrary type and bytes: the result follows the rules for
// text, numbers and other types, data that does not fit or is empty is refused, and the key
// is closed exactly once whatever happens.
#include "about/SysInfo.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace kestrova::about;

namespace {

class OneValueRegistry : public Registry {
public:
    Status openKey(Key, const QByteArray&, std::uint32_t, std::uint32_t, Key& key) override
    {
        ++opened;
        key = 42;
        return registry::Success;
    }
    Status queryValue(Key, const QByteArray&, std::uint32_t& type, std::uint8_t* data,
                      std::uint32_t& byteCount) override
    {
        if (std::uint32_t(value.size()) > byteCount)
            return registry::MoreData;
        type = valueType;
        std::memcpy(data, value.constData(), size_t(value.size()));
        byteCount = std::uint32_t(value.size());
        return registry::Success;
    }
    void closeKey(Key) noexcept override { ++closed; }

    std::uint32_t valueType = 0;
    QByteArray value;
    int opened = 0;
    int closed = 0;
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

// The first byte picks the type (text, number or another), the rest is the value's data.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    OneValueRegistry registry;
    const std::uint32_t types[] = {registry::RegSz, registry::RegDword, registry::RegBinary, 0, 7};
    registry.valueType = types[data[0] % 5];
    registry.value = QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const QString callerText = QStringLiteral("caller");
    QString value = callerText;
    bool found = false;
    bool threw = false;
    try {
        found = GetKeyValue(registry, registry::LocalMachine, QStringLiteral("Key"),
                            QStringLiteral("Value"), value);
    } catch (const RegistryDataError&) {
        threw = true;
    }
    check(registry.opened == 1 && registry.closed == 1);

    const QByteArray& bytes = registry.value;
    if (bytes.size() > qsizetype(ValueBufferSize)) {
        check(!found && !threw && value.isEmpty());
        return 0;
    }
    if (bytes.isEmpty()) {
        check(threw);
        return 0;
    }
    check(found && !threw);
    const QByteArray cut = bytes.endsWith('\0') ? bytes.left(bytes.size() - 1) : bytes;
    if (registry.valueType == registry::RegSz) {
        check(value == QString::fromLocal8Bit(cut));
    } else if (registry.valueType == registry::RegDword) {
        QByteArray reversed(cut);
        std::reverse(reversed.begin(), reversed.end());
        check(value == QLatin1String("&h") + QString::fromLatin1(reversed.toHex().toUpper()));
    } else {
        check(value == callerText);
    }
    return 0;
}
