// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsStore.h"
#include "shutter/ShutterConfig.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

class QCommandLineParser;

namespace kestrova {

// What the command line asks of a run in a terminal: a sequence, or --close.
struct RunOptions {
    bool closeOnly = false; // --close
    // The sequence's three values as typed: the sequencer reads them as it reads the window's
    // fields, with the same rules and refusals.
    QString exposures = QStringLiteral("1");
    QString exposureTime;
    QString delay = QStringLiteral("0");

    // For this run only, never saved. The interface is the one given or implied by the port or
    // line; nothing leaves the stored choice.
    std::optional<Interface> interface;
    std::optional<int> parallelPortIndex;   // --port LPT1..LPT3: 0..2
    std::optional<int> commPortNumber;      // --port Com1..Com16
    std::optional<std::uint8_t> dataBit;    // --line D0..D7
    std::optional<ControlLine> controlLine; // --line RTS|DTR
    std::optional<bool> activeLogic;        // --active-high: true; --active-low: false

    bool quiet = false; // only errors are printed
};

// A command line read as a run: the options, or why they make none (for standard error).
struct ParsedRun {
    std::optional<RunOptions> options;
    QString error;
};

// The options of a run in a terminal, and --settings, which the window takes too.
class RunCommandLine {
public:
    RunCommandLine();

    void addTo(QCommandLineParser& parser) const;
    // Whether the parsed command line asks for a run in the terminal: a sequence option or
    // --close.
    bool wanted(const QCommandLineParser& parser) const;
    ParsedRun read(const QCommandLineParser& parser) const;
    // The settings file given by --settings, empty for the default one.
    QString settingsFile(const QCommandLineParser& parser) const;

private:
    QCommandLineOption exposures_, exposureTime_, delay_, interface_, port_, line_, activeHigh_,
        activeLow_, quiet_, close_, settings_;
};

// The stored settings that the options replace for this run, for an OverlayStore. A polarity
// given without an interface is that of either interface, so of the one in force.
QList<StoredSetting> overriddenSettings(const RunOptions& options);

} // namespace kestrova
