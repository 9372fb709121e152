// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

namespace kestrova {

// What became of one dither. Whatever it was, the sequence goes on: the next exposure opens
// once the pause has passed and the dither has its outcome.
struct DitherOutcome {
    enum class Kind {
        Settled,        // the guider reported settling done
        SettleFailed,   // the guider reported that it could not settle
        Refused,        // the guider answered the request with an error (not guiding, ...)
        TimedOut,       // no word of settling within the settle timeout from the request
        ConnectionLost, // no connection when the dither was due, or it was lost before the end
    };
    Kind kind = Kind::Settled;
    QString text;         // what happened, for the journal and the notification
    qint64 settleMs = 0;  // from sending the request to this outcome, on the monotonic clock
    bool shifted = false; // the guider told its shift: dx, dy in guide camera pixels
    double dx = 0;
    double dy = 0;
};

// The kind in a word or two, for the journal: "settled", "settle failed", "refused",
// "timed out", "connection lost".
QString kindName(DitherOutcome::Kind kind);

// The desktop notifications of failed dithers: one for each kind of failure a night, so a
// guider that fails every dither does not bury the desktop; the rest go to the journal only.
class DitherFailureNotices {
public:
    // True for the first failure of its kind since the night began, and notes it; false for
    // later ones of that kind, and for a settled dither.
    bool shouldNotify(DitherOutcome::Kind kind);
    // A new night (sequence): every kind may be notified again.
    void startNight() { notified_ = 0; }

private:
    unsigned notified_ = 0; // a bit for each Kind
};

} // namespace kestrova

Q_DECLARE_METATYPE(kestrova::DitherOutcome)
