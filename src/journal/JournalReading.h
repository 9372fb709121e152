// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "journal/JournalFiles.h"
#include "journal/JournalRow.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// What the journal tells afterwards: a sequence the program did not see to its end, and the
// exposures of a night.

namespace kestrova {

// The last sequence of a night file that has no sequence-end row: the program was killed or the
// computer stopped while it ran.
struct UnfinishedSequence {
    QString file;
    int sequence = 0;
    int exposures = 0;       // N
    int exposureSeconds = 0; // E
    int delaySeconds = 0;    // D
    int done = 0;            // exposures with a close row
    // The exposure open when the journal stops (an open row without its close): not counted.
    std::optional<int> exposureInProgress;
    QDateTime startedAt; // UTC, of its sequence-start row
    QDateTime stoppedAt; // UTC, of its last row

    // What is left to take: N - done exposures of E seconds, D seconds apart.
    int exposuresLeft() const { return exposures > done ? exposures - done : 0; }
};

// From the rows of one night file.
std::optional<UnfinishedSequence> findUnfinishedSequence(const QList<JournalRow>& rows,
                                                         const QString& file);
// From the newest night file in the folder; nothing when there is none, it cannot be read or its
// last sequence ended.
std::optional<UnfinishedSequence> findUnfinishedSequence(const QString& folder);

// The body of the message shown at start-up: which sequence, how far it got, when it stopped,
// that the exposure open then is not counted, and that the fields hold what is left.
QString unfinishedSequenceText(const UnfinishedSequence& unfinished);

// How an exposure ended.
enum class ExposureEnding {
    Completed, // ran its full length (or was closed by hand)
    Cancelled,
    Failed,
    NoClose, // an open row without its close: the journal stops here
};
QString exposureEndingText(ExposureEnding ending);

// One exposure of a night: a sequence's, or one opened and closed by hand.
struct ExposureRecord {
    std::optional<int> sequence; // nothing for one by hand
    int exposure = 0;            // within its sequence; for one by hand, its count in the night
    QDateTime openedAt;          // UTC
    std::optional<int> plannedS; // nothing for one by hand
    std::optional<qint64> measuredMs;
    ExposureEnding ending = ExposureEnding::NoClose;

    bool byHand() const { return !sequence; }
    bool cutShort() const
    {
        return ending == ExposureEnding::Cancelled || ending == ExposureEnding::Failed;
    }
    QString number() const; // "2.14" (sequence.exposure), "hand 3"
};

// The exposures of a night, in the order they were opened.
QList<ExposureRecord> exposuresOf(const QList<JournalRow>& rows);

// The text of "kestrova --journal": the folder, the night file and its exposures as a table.
QString journalText(const QString& folder, const JournalFileContent& night);

} // namespace kestrova
