// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "guider/GuidingSettings.h"

#include <QString>

// What the guider layer tells the user: the refused command-line values, the guider that does
// not answer at Start, and the outcomes of dithers during the night.

namespace kestrova::messages {

inline const char TurnDitheringOff[] = "kestrova --dither-every 0";

// The command line's values; text: as given, problem: what is wrong with it.
inline QString invalidDitherEvery(const QString& text)
{
    return QStringLiteral("Invalid --dither-every \"%1\": give a whole number of exposures from "
                          "0 to %2; 0 turns dithering off.")
        .arg(text, QString::number(guiding::MaxDitherEvery));
}
inline QString invalidDitherPixels(const QString& text)
{
    return QStringLiteral("Invalid --dither-pixels \"%1\": give the largest shift in guide camera "
                          "pixels, more than 0 and at most %2.")
        .arg(text, QString::number(guiding::MaxDitherPixels));
}
inline QString invalidSettle(const QString& text, const QString& problem)
{
    return QStringLiteral("Invalid --settle \"%1\": %2. Give PIXELS,SECONDS,TIMEOUT: the guide "
                          "star within PIXELS (more than 0, at most %3) for SECONDS (a whole "
                          "number from 0 to %4), giving up after TIMEOUT seconds (a whole number "
                          "from %5 to %6, not below SECONDS); for example --settle 1.5,10,60.")
        .arg(text, problem, QString::number(guiding::MaxSettlePixels),
             QString::number(guiding::MaxSettleSeconds),
             QString::number(guiding::MinSettleTimeoutSeconds),
             QString::number(guiding::MaxSettleTimeoutSeconds));
}
inline QString invalidGuiderAddress(const QString& text, const QString& problem)
{
    return QStringLiteral("Invalid --guider \"%1\": %2. Give HOST or HOST:PORT: a host name or "
                          "address without blanks and a port from 1 to 65535 (%3 when left out); "
                          "an IPv6 address with a port in brackets, for example "
                          "--guider [::1]:%3.")
        .arg(text, problem, QString::number(GuiderAddress{}.port));
}

// Why a connection to the guider ended or a line from it was skipped.
inline const char GuiderClosedConnection[] = "the guider closed the connection";
inline const char ClosedByKestrova[] = "closed by Kestrova";
inline const char NotConnected[] = "not connected";
inline QString skippedLine(const QByteArray& line)
{
    constexpr int shown = 80;
    const QString text = QString::fromUtf8(line.left(shown));
    return QStringLiteral("a line from the guider that is neither an event nor an answer: %1%2")
        .arg(text, line.size() > shown ? QStringLiteral("...") : QString());
}
inline QString overlongLine(qsizetype bytes)
{
    return QStringLiteral("a line from the guider longer than %1 bytes").arg(bytes);
}

// At Start, with dithering on. address: "host:port"; reason: what went wrong.
inline QString guiderNotAnswering(const QString& address, const QString& reason)
{
    return QStringLiteral("The guider at %1 did not answer (%2). Start PHD2 and enable its server "
                          "(Tools, Enable Server), or give its address with --guider HOST[:PORT], "
                          "or turn dithering off: %3")
        .arg(address, reason, QLatin1String(TurnDitheringOff));
}
inline QString noGreeting(double seconds)
{
    return QStringLiteral("no greeting within %1 s").arg(seconds);
}
inline QString guiderAnswered(const QString& address, const QString& version, const QString& state)
{
    return QStringLiteral("The guider at %1 answered (PHD2 %2, %3).").arg(address, version, state);
}

// The outcomes of one dither, for the journal.
inline QString ditherSettled(double seconds)
{
    return QStringLiteral("The guider settled after %1 s.").arg(seconds, 0, 'f', 1);
}
inline QString ditherSettleFailed(const QString& guiderText)
{
    return QStringLiteral("The guider did not settle: %1.").arg(guiderText);
}
inline QString ditherRefused(const QString& guiderText, int code)
{
    return QStringLiteral("The guider refused the dither: %1 (code %2).")
        .arg(guiderText, QString::number(code));
}
inline QString ditherTimedOut(int timeoutSeconds)
{
    return QStringLiteral("The guider had not settled at the settle timeout of %1 s.")
        .arg(timeoutSeconds);
}
inline QString lastDistance(double pixels)
{
    return QStringLiteral(" Its last distance was %1 px.").arg(pixels, 0, 'f', 2);
}
inline QString ditherNotConnected(const QString& address)
{
    return QStringLiteral("No dither: the guider at %1 is not connected; Kestrova keeps trying to "
                          "connect.")
        .arg(address);
}
inline QString ditherConnectionLost(const QString& address, const QString& reason)
{
    return QStringLiteral("The connection to the guider at %1 was lost during the dither (%2).")
        .arg(address, reason);
}
inline const char AlreadyDithering[] = "The previous dither is still settling.";

// The connection during the night.
inline QString guiderConnectionLost(const QString& address, const QString& reason)
{
    return QStringLiteral("The connection to the guider at %1 was lost (%2); Kestrova keeps "
                          "trying to connect.")
        .arg(address, reason);
}
inline QString guiderSilent(int seconds)
{
    return QStringLiteral("no word from the guider in the %1 s since the dither").arg(seconds);
}
inline QString guiderReconnected(const QString& address)
{
    return QStringLiteral("Connected to the guider at %1 again.").arg(address);
}

// facts: "frame 812, SNR 3.2, ..." (may be empty); status: the guider's words (may be empty).
inline QString guideStarLost(const QString& facts, const QString& status)
{
    QString text = QStringLiteral("The guide star was lost");
    if (!facts.isEmpty())
        text += QStringLiteral(" (%1)").arg(facts);
    if (!status.isEmpty())
        text += QStringLiteral(": %1").arg(status);
    return text + QLatin1Char('.');
}

// The one desktop notification a night for each kind of failed dither; outcome: its text.
inline QString ditherFailedNotification(const QString& outcome)
{
    return QStringLiteral("Dithering failed: %1 The sequence goes on; further failures of this "
                          "kind tonight are written to the journal only.")
        .arg(outcome);
}

} // namespace kestrova::messages
