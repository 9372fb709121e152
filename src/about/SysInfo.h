// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "about/AboutText.h"
#include "about/Registry.h"

#include <QString>
#include <functional>
#include <stdexcept>

namespace kestrova::about {

// Where the system information tool is registered, in the order tried: the program's full
// path, then the folder that holds ToolFileName.
inline constexpr char ToolPathKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr char ToolPathValue[] = "PATH";
inline constexpr char ToolFolderKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr char ToolFolderValue[] = "MSINFO";
inline constexpr char ToolFileName[] = "\\MSINFO32.EXE";

inline constexpr std::uint32_t ValueBufferSize = 1024;
inline constexpr std::uint32_t KeyAccess = 0x2003F;

// A value that exists but holds not a single byte.
class RegistryDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FileProbe {
public:
    virtual ~FileProbe() = default;
    virtual bool isOrdinaryFile(const QString& path) const = 0;
};

class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // Starts the program at path with no arguments and does not wait for it; false when it
    // could not be started.
    virtual bool start(const QString& path) = 0;
};

// What finding and starting the tool needs from the system.
struct SysInfoPlatform {
    Registry& registry;
    FileProbe& files;
    ProgramStarter& starter;
};

// Reads a value of up to ValueBufferSize bytes into KeyVal: text as text, a number as "&h" and
// its hex digits, any other type leaving KeyVal as it was. Returns false, with KeyVal empty,
// when the key or the value is missing or the data does not fit. Throws RegistryDataError for
// a value without data. Every key it opens is closed again.
bool GetKeyValue(Registry& registry, Registry::Key KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal);

using ShowMessage = std::function<void(const QString& text)>;

// Starts the system information tool, or shows SysInfoUnavailable when it cannot be found
// or started.
void StartSysInfo(const SysInfoPlatform& platform, const ShowMessage& showMessage);

} // namespace kestrova::about
