// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <cstdint>

namespace kestrova::about {

// A read-only view of the system registry, shaped after the platform's own three calls so that
// an implementation over them is a thin wrapper. Key and value names are in the system code page.
class Registry {
public:
    using Key = std::uintptr_t;
    using Status = long;

    virtual ~Registry() = default;

    // On success (status 0) stores the opened key's handle in key.
    virtual Status openKey(Key root, const QByteArray& subKey, std::uint32_t options,
                           std::uint32_t access, Key& key) = 0;
    // data holds byteCount bytes on entry. On success stores the value's type, its bytes and
    // their number in byteCount; data that does not fit is a failure, not a partial read.
    virtual Status queryValue(Key key, const QByteArray& valueName, std::uint32_t& type,
                              std::uint8_t* data, std::uint32_t& byteCount) = 0;
    // Runs on every way out of a lookup, so it cannot fail.
    virtual void closeKey(Key key) noexcept = 0;
};

namespace registry {
inline constexpr Registry::Key LocalMachine = 0x80000002;

inline constexpr Registry::Status Success = 0;
inline constexpr Registry::Status FileNotFound = 2;
inline constexpr Registry::Status InvalidHandle = 6;
inline constexpr Registry::Status MoreData = 234;

inline constexpr std::uint32_t RegSz = 1;
inline constexpr std::uint32_t RegBinary = 3;
inline constexpr std::uint32_t RegDword = 4;
} // namespace registry

} // namespace kestrova::about
