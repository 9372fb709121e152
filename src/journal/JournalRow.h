// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// One row of the night journal and its CSV form. The journal is a CSV file (RFC 4180, CRLF line
// ends) that a spreadsheet opens; its columns and their texts are fixed, since other programs and
// the user's own sheets read them.

namespace kestrova {

// The columns, in order.
inline constexpr char JournalHeader[] =
    "utc,event,sequence,exposure,offset_ms,planned_s,measured_ms,exposures,exposure_s,delay_s,"
    "interface,port,line,active_logic,awake,outcome,detail,dx_px,dy_px";
inline constexpr int JournalColumnCount = 19;

// What a row records. Unknown stands for an event this program does not know, written by a newer
// one: readers skip it.
enum class JournalEvent {
    SequenceStart, // sequence-start
    Open,          // open
    Close,         // close
    ManualOpen,    // manual-open
    ManualClose,   // manual-close
    ConfigChange,  // config-change
    SequenceEnd,   // sequence-end
    Dither,        // dither
    DitherReply,   // dither-reply
    Settle,        // settle
    StarLost,      // star-lost
    Guider,        // guider
    Unknown,
};

// The port a line belongs to.
enum class JournalInterface { Parallel, Serial }; // parallel, serial

// How an exposure or a sequence ended (a close row has none for an exposure that ran its full
// length), and how the guider answered a dither and settled.
enum class JournalOutcome {
    Completed,      // completed
    Cancelled,      // cancelled
    Failed,         // failed
    Accepted,       // accepted: the guider took the dither request
    Refused,        // refused
    Settled,        // settled
    SettleFailed,   // settle failed
    TimedOut,       // timed out
    ConnectionLost, // connection lost
    ConnectionBack, // connection back
};

// How the computer was kept awake during a sequence.
enum class JournalAwake { Portal, Logind, ScreenSaver, No }; // portal, logind, screen saver, no

QString journalEventName(JournalEvent event);
QString journalOutcomeName(JournalOutcome outcome);

// A row: the time and the event, the other columns empty unless set.
struct JournalRow {
    QDateTime utc; // written in UTC with milliseconds: 2026-12-07T21:04:05.123Z
    JournalEvent event = JournalEvent::Unknown;
    std::optional<int> sequence;      // numbered within the night file, from 1
    std::optional<int> exposure;      // within the sequence, from 1
    std::optional<qint64> offsetMs;   // monotonic ms since the sequence's start edge
    std::optional<int> plannedS;      // the exposure's planned length
    std::optional<qint64> measuredMs; // close edge - open edge, monotonic
    std::optional<int> exposures;     // N at sequence-start, exposures done at sequence-end
    std::optional<int> exposureS;     // E
    std::optional<int> delayS;        // D
    std::optional<JournalInterface> interface;
    QString port; // "LPT1", "Com3 /dev/serial/by-id/..."
    QString line; // "D1", "RTS", "DTR"
    std::optional<bool> activeLogic;
    std::optional<JournalAwake> awake;
    std::optional<JournalOutcome> outcome;
    QString detail;
    std::optional<double> dxPx;
    std::optional<double> dyPx;

    // The row as one CSV line, CRLF included.
    QByteArray toCsvLine() const;
};

// A field as CSV writes it: quoted when it holds a comma, a quote or a line break, quotes doubled.
QByteArray csvField(const QString& text);
// A number as plain decimals, which a spreadsheet in any locale reads: no exponent, no trailing
// zeros, at most that many decimals; empty when it is not finite.
QString csvDecimal(double value, int maxDecimals);

// The rows read from a journal's text.
struct ParsedJournal {
    QList<JournalRow> rows; // in file order; header rows left out
    // Lines that are not rows: too few columns, a time or a number that does not read, or a last
    // line cut off before its line end (a write the computer did not finish).
    int malformedLines = 0;
};

// Reads CSV as the journal writes it (quoted fields may hold commas, quotes, CR and LF); a lone
// LF also ends a line. Columns after the known ones are ignored, so a newer program's file reads.
ParsedJournal parseJournalCsv(const QByteArray& text);

} // namespace kestrova
