// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "guider/GuidingSettings.h"

#include <QCommandLineOption>

class QCommandLineParser;

namespace kestrova {

// The guiding options of the command line: --dither-every K, --dither-pixels P,
// --dither-ra-only, --settle PIXELS,SECONDS,TIMEOUT and --guider HOST[:PORT], which change the
// settings (stored, or for one run in a terminal), and --guiding, which prints them.
class GuidingCommandLine {
public:
    GuidingCommandLine();

    void addTo(QCommandLineParser& parser) const;
    // Whether an option that changes a setting is given.
    bool changes(const QCommandLineParser& parser) const;
    bool printWanted(const QCommandLineParser& parser) const;
    // The settings with the options' values over them; the first value refused, with the allowed
    // ones. The RA-only flag is set by --dither-ra-only, and cleared by a --dither-every given
    // without it.
    Parsed<GuidingSettings> apply(const QCommandLineParser& parser, GuidingSettings settings) const;

private:
    QCommandLineOption every_, pixels_, raOnly_, settle_, guider_, print_;
};

} // namespace kestrova
