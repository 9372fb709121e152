// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What a run from the command line tells on the terminal, beside the program's own messages.

namespace kestrova::messages {

// A command line that cannot make a run: on standard error, exit status 2.
inline QString badOptionValue(const QString& option, const QString& value, const QString& takes)
{
    return QStringLiteral("--%1 takes %2, not \"%3\".").arg(option, takes, value);
}
// first, second: the options as given, "--port LPT2", "--line RTS".
inline QString optionsOnTwoInterfaces(const QString& first, const QString& firstInterface,
                                      const QString& second, const QString& secondInterface)
{
    return QStringLiteral("%1 is on the %2 interface and %3 on the %4 one; a run uses one line "
                          "of one port.")
        .arg(first, firstInterface, second, secondInterface);
}
inline const char BothPolarities[] = "--active-high and --active-low contradict each other; "
                                     "give one of them.";
inline const char ExposureTimeMissing[] =
    "--exposure-time is missing: give the seconds each exposure lasts, e.g. "
    "\"kestrova --exposures 40 --exposure-time 300 --delay 10\".";
inline const char NeitherSequenceNorClose[] =
    "The line options and --quiet are for a run from the command line: give a sequence "
    "(--exposure-time, with --exposures and --delay) or --close.";
inline const char CloseTakesNoSequence[] =
    "--close closes the shutter and exits; it takes no --exposures, --exposure-time or --delay.";
inline QString unexpectedArguments(const QString& arguments)
{
    return QStringLiteral("Unexpected argument: %1. See \"kestrova --help\".").arg(arguments);
}

// The progress of a sequence.
inline QString sequenceStartedText(int exposures, int exposureSeconds, int delaySeconds,
                                   const QString& total, const QString& line)
{
    return QStringLiteral("Sequence of %1 %2 of %3 s, %4 s apart (%5 in all) on %6")
        .arg(exposures)
        .arg(exposures == 1 ? QStringLiteral("exposure") : QStringLiteral("exposures"))
        .arg(exposureSeconds)
        .arg(delaySeconds)
        .arg(total, line);
}
inline QString sequenceCancelledText(const QString& by, int done, int exposures)
{
    return QStringLiteral("Sequence cancelled by %1 after %2 of %3 exposures; the shutter is "
                          "closed.")
        .arg(by)
        .arg(done)
        .arg(exposures);
}
inline QString sequenceStoppedText(int done, int exposures)
{
    return QStringLiteral("Sequence stopped after %1 of %2 exposures.").arg(done).arg(exposures);
}
// line: "Com1 (/dev/ttyUSB0) RTS, active low"
inline QString lineClosedText(const QString& line)
{
    return QStringLiteral("The shutter is closed: %1 is at its closed level.").arg(line);
}

// The journal's last sequence did not end (the program or the computer stopped).
inline QString unfinishedSequenceNotice(int sequence, const QString& file, int done, int exposures,
                                        int left, int exposureSeconds, int delaySeconds)
{
    QString text = QStringLiteral("The last sequence did not come to its end: sequence %1 in %2 "
                                  "stops after %3 of %4 exposures.")
                       .arg(sequence)
                       .arg(file)
                       .arg(done)
                       .arg(exposures);
    if (left > 0)
        text += QStringLiteral(" To take what was left: kestrova --exposures %1 --exposure-time "
                               "%2 --delay %3.")
                    .arg(left)
                    .arg(exposureSeconds)
                    .arg(delaySeconds);
    return text + QStringLiteral(" This run goes on with the values given.");
}

} // namespace kestrova::messages
