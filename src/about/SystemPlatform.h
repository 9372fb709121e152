// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "about/SysInfo.h"

#include <QStringList>

namespace kestrova::about {

// The system information programs looked for, in order of preference.
QStringList systemInformationTools();

// Stands in for the registry on a system that has none: the tool's path key answers its
// "PATH" value with the full path of the first installed program of systemInformationTools(),
// looked up afresh on every query; no other key exists.
class ToolSearchRegistry : public Registry {
public:
    // Searches searchDirs, or the directories of PATH when none are given.
    explicit ToolSearchRegistry(QStringList searchDirs = {});

    Status openKey(Key root, const QByteArray& subKey, std::uint32_t options, std::uint32_t access,
                   Key& key) override;
    Status queryValue(Key key, const QByteArray& valueName, std::uint32_t& type, std::uint8_t* data,
                      std::uint32_t& byteCount) override;
    void closeKey(Key key) noexcept override;

private:
    QString findTool() const;

    QStringList searchDirs_;
};

class LocalFileProbe : public FileProbe {
public:
    bool isOrdinaryFile(const QString& path) const override;
};

// Starts the program as a process of its own that outlives this one.
class DetachedStarter : public ProgramStarter {
public:
    bool start(const QString& path) override;
};

// This machine's registry stand-in, file system and program start, alive for the whole run.
SysInfoPlatform systemPlatform();

} // namespace kestrova::about
