// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/ProgressText.h"

#include <algorithm>

namespace kestrova {

namespace {
constexpr int LongestBar = 30;
constexpr int ShortestBar = 5;

QString bar(int done, int total, int width)
{
    const int filled = total > 0 ? int(qint64(width) * std::clamp(done, 0, total) / total) : 0;
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(width - filled, QLatin1Char('.')) + QLatin1Char(']');
}
} // namespace

QString progressLine(const ProgressPoint& point, int columns)
{
    const QString phase = point.pausing ? QStringLiteral("Pause after %1 of %2: %3 of %4 s")
                                        : QStringLiteral("Exposure %1 of %2: %3 of %4 s");
    const QString head = phase.arg(point.exposure)
                             .arg(point.exposures)
                             .arg(point.phaseElapsed)
                             .arg(point.phaseLength) +
                         (point.settling ? QStringLiteral(", settling") : QString());
    const QString tail = point.timeLeft + QStringLiteral(" left");
    const int room = columns - 1 - int(head.size() + tail.size()) - 6; // spaces and brackets
    if (room >= ShortestBar)
        return head + QLatin1String("  ") +
               bar(point.totalElapsed, point.total, std::min(room, LongestBar)) +
               QLatin1String("  ") + tail;
    return (head + QLatin1String("  ") + tail).left(std::max(columns - 1, 0));
}

QString exposureOpenedText(int exposure, int exposures, int plannedSeconds)
{
    return QStringLiteral("Exposure %1 of %2 opened for %3 s")
        .arg(exposure)
        .arg(exposures)
        .arg(plannedSeconds);
}

QString exposureClosedText(int exposure, int exposures, Ending ending, const QString& timeLeft)
{
    const QString closed = QStringLiteral("Exposure %1 of %2 closed").arg(exposure).arg(exposures);
    switch (ending) {
    case Ending::Completed:
        return closed + QStringLiteral(", %1 left").arg(timeLeft);
    case Ending::Cancelled:
        return closed + QStringLiteral(" early: cancelled");
    case Ending::Failed:
        return closed + QStringLiteral(" early: the sequence failed");
    }
    return closed;
}

QString logLine(const QDateTime& at, const QString& text)
{
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + text;
}

QString lineText(const ShutterConfig& config, const QString& serialDevice)
{
    const QString polarity =
        config.ActiveLogic ? QStringLiteral("active high") : QStringLiteral("active low");
    if (config.Use == Interface::Serial)
        return QStringLiteral("Com%1 (%2) %3, %4")
            .arg(config.commPortNumber())
            .arg(serialDevice,
                 config.ControlLine == ControlLine::Rts ? QStringLiteral("RTS")
                                                        : QStringLiteral("DTR"),
                 polarity);
    if (config.Use == Interface::None)
        return QStringLiteral("no line: no interface is chosen");
    const int index = config.ParallelPortIndex;
    const QString port = config.portAddress() != 0
                             ? QStringLiteral("LPT%1 (0x%2)")
                                   .arg(index + 1)
                                   .arg(QString::number(config.portAddress(), 16).toUpper())
                             : QStringLiteral("the parallel port of index %1").arg(index);
    return QStringLiteral("%1 D%2, %3").arg(port).arg(config.PortBit).arg(polarity);
}

} // namespace kestrova
