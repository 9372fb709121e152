// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/Sequencer.h"
#include "guider/DitherOutcome.h"
#include "guider/GuidingSettings.h"
#include "journal/JournalWriter.h"
#include "shutter/ShutterConfig.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace kestrova {

// The line as the journal names it: its interface, port, line and polarity.
struct JournalLine {
    JournalInterface interface = JournalInterface::Parallel;
    QString port; // "LPT1", "Com3 /dev/serial/by-id/..."
    QString line; // "D1", "RTS", "DTR"
    bool activeLogic = false;
};

// Writes the night's work into the journal as it happens: each sequence with its plan, each edge
// of the line with its time in UTC and on the monotonic clock from the sequence's start, each
// opening and closing by hand, each change of configuration while the shutter is open, and how
// each sequence ended. Every call comes right after the edge it records; a row that cannot be
// written never stops anything (the writer tells the user once a night).
class JournalRecorder {
public:
    // The clock the edges are timed on, in nanoseconds; monotonic.
    using Clock = std::function<std::int64_t()>;
    // The writer must outlive the recorder.
    JournalRecorder(JournalWriter& writer, Clock monotonic);

    // The moment of the edge just made: the rows written for it next carry this time, not the
    // time they reach the disk, which a row written before them may have delayed.
    void stamp();

    // The first exposure has just opened.
    void sequenceStarted(int exposures, int exposureSeconds, int delaySeconds,
                         const JournalLine& line);
    void exposureOpened(int exposure, int plannedSeconds);
    void exposureClosed(int exposure, Ending ending);
    // awake: how the computer was kept awake, empty for not at all.
    void sequenceEnded(const SequenceEnd& end, const QString& awake);

    void openedByHand(const JournalLine& line);
    void closedByHand(const JournalLine& line);
    void configurationChanged(const JournalLine& line, const QString& detail);

    // The guider, against the running sequence: a dither asked for after an exposure, the
    // guider's answer, the settling's outcome, a star lost during an exposure, the connection
    // lost or back.
    void ditherRequested(int afterExposure, const DitherParameters& parameters);
    void ditherReplied(bool accepted, const QString& guiderText);
    void ditherFinished(const DitherOutcome& outcome);
    void starLost(std::optional<int> exposure, const QString& details);
    void guiderConnection(bool back, const QString& text);

private:
    JournalRow row(JournalEvent event);
    void write(const JournalRow& row);
    std::int64_t now();

    JournalWriter& writer_;
    Clock monotonic_;
    std::optional<int> sequence_;
    std::int64_t sequenceStart_ = 0;
    std::int64_t exposureOpened_ = 0;
    int plannedSeconds_ = 0;
    std::optional<std::int64_t> openedByHand_;
    std::optional<std::pair<std::int64_t, QDateTime>> stamped_; // monotonic, UTC
};

} // namespace kestrova
