// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Int16.h"

#include <QString>
#include <QStringList>
#include <limits>

// What the program's own layer tells the user: its message boxes, notifications and the reason
// it gives the desktop for staying awake.

namespace kestrova {

// The longest a sequence, and so any of its fields, may last: its seconds are counted in 16 bits.
inline constexpr Int16 LongestSequenceSeconds = std::numeric_limits<Int16>::max();

namespace messages {

inline const char InvalidSequenceValues[] =
    "Please enter valid integer values for Exposure Time, Delay, and Number of Exposures";
inline const char KeepAwakeReason[] = "Exposure sequence running";
// On standard error when no desktop service keeps the computer awake; refusals: each service's
// answer.
inline QString mayNotStayAwake(const QStringList& refusals)
{
    return QStringLiteral("The computer may suspend or sleep during the sequence: nothing on the "
                          "desktop keeps it awake (%1).")
        .arg(refusals.join(QStringLiteral("; ")));
}
// The details of InvalidSequenceValues: which field is wrong and what it may hold.
inline QString exposureTimeRule()
{
    return QStringLiteral("Exposure Time must be a whole number of seconds from 1 to %1.")
        .arg(LongestSequenceSeconds);
}
inline QString delayRule()
{
    return QStringLiteral("Delay Between Exposures must be a whole number of seconds up to %1, "
                          "and at least 1 when more than one exposure is taken.")
        .arg(LongestSequenceSeconds);
}
inline QString countRule()
{
    return QStringLiteral("Number of Exposures must be a whole number from 1 to %1.")
        .arg(LongestSequenceSeconds);
}
inline QString sequenceTooLong()
{
    constexpr int s = LongestSequenceSeconds;
    return QStringLiteral("The whole sequence may last at most %1 seconds (%2 hours, %3 minutes "
                          "and %4 seconds). Take fewer or shorter exposures, or shorten the delay.")
        .arg(s)
        .arg(s / 3600)
        .arg(s % 3600 / 60)
        .arg(s % 60);
}
// field: "Exposure Time" or "Delay"; phase: "exposure" or "pause".
inline QString fieldReadAgainInvalid(const QString& field, const QString& phase)
{
    return QStringLiteral("The sequence has been stopped with the shutter closed: %1, read again "
                          "for the next %2, is not a whole number of seconds from 1 to %3.")
        .arg(field, phase)
        .arg(LongestSequenceSeconds);
}

// The informative texts of the question asked before the window closes while the camera works.
inline const char LeavingCancelsSequence[] =
    "Closing Kestrova cancels the sequence and closes the shutter.";
inline const char LeavingKeepsShutterOpen[] =
    "Closing Kestrova leaves the shutter open; Kestrova closes it when it starts next.";
inline const char LeavingClosesOldLine[] =
    "Closing Kestrova closes the shutter: it was opened through a line that is no longer chosen.";
inline const char LeavingReleasesShutter[] =
    "Closing Kestrova releases the serial port, which drops the line: the shutter closes.";

// The journal's config-change rows and its notification.
inline const char ChangedWhileOpen[] =
    "changed while the shutter was open: the line that opened it closes it, then this one";
inline const char ChangedInPause[] = "changed during the sequence: in force from the next exposure";
inline const char JournalNotWritten[] = "The night journal could not be written";
// The guider: at Start when it does not answer, and the notification of a failed dither.
inline const char GuiderDidNotAnswer[] = "The guider did not answer; the sequence was not started.";
inline const char DitherFailed[] = "A dither failed; the sequence goes on";

// The message at start-up when the journal's last sequence did not end.
inline const char SequenceDidNotEnd[] = "The last sequence did not come to its end.";

// What became of the sequence, after the line's own explanation.
inline const char SequenceNotStarted[] = "The sequence was not started.";
inline const char SequenceStopped[] = "The sequence has been stopped.";
inline const char ShutterMayBeOpen[] = "The sequence has ended, but the shutter may still be open.";

// The notification of a sequence that has ended by itself.
inline QString sequenceComplete(int exposures, int lastExposureSeconds)
{
    return QStringLiteral("Sequence complete: %1 %2 of %3 s")
        .arg(exposures)
        .arg(exposures == 1 ? QStringLiteral("exposure") : QStringLiteral("exposures"))
        .arg(lastExposureSeconds);
}

} // namespace messages

} // namespace kestrova
