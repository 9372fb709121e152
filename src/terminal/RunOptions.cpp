// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal/RunOptions.h"

#include "config/SettingsSchema.h"
#include "terminal/Messages.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <iterator>

namespace kestrova {

namespace {

QString interfaceName(Interface interface)
{
    return interface == Interface::Serial ? QStringLiteral("serial") : QStringLiteral("parallel");
}

// The whole text matched, in any letter case; the first group, or nothing.
std::optional<QString> match(const QString& pattern, const QString& text)
{
    const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch found = expression.match(text.trimmed());
    if (!found.hasMatch())
        return std::nullopt;
    return found.captured(1);
}

// An option that names an interface, as the user gave it: "--port LPT2".
struct InterfaceClaim {
    QString option;
    Interface interface;
};

} // namespace

RunCommandLine::RunCommandLine()
    : exposures_(QStringLiteral("exposures"),
                 QStringLiteral("Run a sequence of N exposures in this terminal, without a window "
                                "(default 1)."),
                 QStringLiteral("N")),
      exposureTime_(QStringLiteral("exposure-time"),
                    QStringLiteral("The seconds each exposure lasts (1 to 32767); needed for a "
                                   "sequence."),
                    QStringLiteral("SECONDS")),
      delay_(QStringLiteral("delay"),
             QStringLiteral("The seconds between exposures (default 0; at least 1 for more than "
                            "one exposure)."),
             QStringLiteral("SECONDS")),
      interface_(QStringLiteral("interface"),
                 QStringLiteral("For this run only: the parallel or the serial interface."),
                 QStringLiteral("parallel|serial")),
      port_(QStringLiteral("port"),
            QStringLiteral("For this run only: the port, LPT1 to LPT3 or Com1 to Com16 (which "
                           "chooses its interface)."),
            QStringLiteral("PORT")),
      line_(QStringLiteral("line"),
            QStringLiteral("For this run only: the line, a data bit D0 to D7 of the parallel "
                           "port, or RTS or DTR of the serial port."),
            QStringLiteral("LINE")),
      activeHigh_(QStringLiteral("active-high"),
                  QStringLiteral("For this run only: the line is set while the shutter is open "
                                 "(Active Logic checked).")),
      activeLow_(QStringLiteral("active-low"),
                 QStringLiteral("For this run only: the line is set while the shutter is closed "
                                "(Active Logic unchecked).")),
      quiet_(QStringLiteral("quiet"),
             QStringLiteral("Print nothing but errors during a sequence or --close.")),
      close_(QStringLiteral("close"),
             QStringLiteral("Put the configured line (or the one the options above give) at its "
                            "shutter-closed level, and exit.")),
      settings_(QStringLiteral("settings"),
                QStringLiteral("Use the settings in FILE instead of "
                               "~/.config/Kestrova/Kestrova.conf, in the window or a terminal."),
                QStringLiteral("FILE"))
{
}

void RunCommandLine::addTo(QCommandLineParser& parser) const
{
    for (const QCommandLineOption* option :
         {&exposures_, &exposureTime_, &delay_, &interface_, &port_, &line_, &activeHigh_,
          &activeLow_, &close_, &quiet_, &settings_})
        parser.addOption(*option);
}

// The line options and --quiet too: the window would pass them over without a word.
bool RunCommandLine::wanted(const QCommandLineParser& parser) const
{
    for (const QCommandLineOption* option :
         {&exposures_, &exposureTime_, &delay_, &interface_, &port_, &line_, &activeHigh_,
          &activeLow_, &close_, &quiet_})
        if (parser.isSet(*option))
            return true;
    return false;
}

QString RunCommandLine::settingsFile(const QCommandLineParser& parser) const
{
    return parser.value(settings_);
}

ParsedRun RunCommandLine::read(const QCommandLineParser& parser) const
{
    const auto refused = [](const QString& error) { return ParsedRun{std::nullopt, error}; };
    if (!parser.positionalArguments().isEmpty())
        return refused(
            messages::unexpectedArguments(parser.positionalArguments().join(QLatin1Char(' '))));

    RunOptions options;
    options.closeOnly = parser.isSet(close_);
    options.quiet = parser.isSet(quiet_);
    const bool sequence =
        parser.isSet(exposures_) || parser.isSet(exposureTime_) || parser.isSet(delay_);
    if (options.closeOnly && sequence)
        return refused(QString::fromLatin1(messages::CloseTakesNoSequence));
    if (!options.closeOnly && !sequence)
        return refused(QString::fromLatin1(messages::NeitherSequenceNorClose));
    if (sequence && !parser.isSet(exposureTime_))
        return refused(QString::fromLatin1(messages::ExposureTimeMissing));
    if (parser.isSet(exposures_))
        options.exposures = parser.value(exposures_);
    options.exposureTime = parser.value(exposureTime_);
    if (parser.isSet(delay_))
        options.delay = parser.value(delay_);

    QList<InterfaceClaim> claims;
    if (parser.isSet(interface_)) {
        const QString value = parser.value(interface_);
        const QString given = value.trimmed().toLower();
        if (given != QLatin1String("parallel") && given != QLatin1String("serial"))
            return refused(messages::badOptionValue(QStringLiteral("interface"), value,
                                                    QStringLiteral("parallel or serial")));
        claims.append({QStringLiteral("--interface ") + value,
                       given == QLatin1String("serial") ? Interface::Serial : Interface::Parallel});
    }
    if (parser.isSet(port_)) {
        const QString value = parser.value(port_);
        if (const std::optional<QString> lpt = match(QStringLiteral("LPT([1-3])"), value)) {
            options.parallelPortIndex = lpt->toInt() - 1;
            claims.append({QStringLiteral("--port ") + value, Interface::Parallel});
        } else if (const std::optional<QString> com =
                       match(QStringLiteral("COM([1-9][0-9]?)"), value);
                   com && com->toInt() <= settings::ComPortCount) {
            options.commPortNumber = com->toInt();
            claims.append({QStringLiteral("--port ") + value, Interface::Serial});
        } else {
            return refused(messages::badOptionValue(
                QStringLiteral("port"), value,
                QStringLiteral("LPT1 to LPT3 or Com1 to Com%1").arg(settings::ComPortCount)));
        }
    }
    if (parser.isSet(line_)) {
        const QString value = parser.value(line_);
        if (const std::optional<QString> bit = match(QStringLiteral("D([0-7])"), value)) {
            options.dataBit = std::uint8_t(bit->toInt());
            claims.append({QStringLiteral("--line ") + value, Interface::Parallel});
        } else if (const std::optional<QString> serial =
                       match(QStringLiteral("(RTS|DTR)"), value)) {
            options.controlLine = serial->compare(QLatin1String("RTS"), Qt::CaseInsensitive) == 0
                                      ? ControlLine::Rts
                                      : ControlLine::Dtr;
            claims.append({QStringLiteral("--line ") + value, Interface::Serial});
        } else {
            return refused(messages::badOptionValue(QStringLiteral("line"), value,
                                                    QStringLiteral("D0 to D7, RTS or DTR")));
        }
    }
    for (const InterfaceClaim& claim : claims)
        if (claim.interface != claims.first().interface)
            return refused(messages::optionsOnTwoInterfaces(
                claims.first().option, interfaceName(claims.first().interface), claim.option,
                interfaceName(claim.interface)));
    if (!claims.isEmpty())
        options.interface = claims.first().interface;

    if (parser.isSet(activeHigh_) && parser.isSet(activeLow_))
        return refused(QString::fromLatin1(messages::BothPolarities));
    if (parser.isSet(activeHigh_) || parser.isSet(activeLow_))
        options.activeLogic = parser.isSet(activeHigh_);
    return {options, {}};
}

QList<StoredSetting> overriddenSettings(const RunOptions& options)
{
    using namespace settings;
    QList<StoredSetting> overridden;
    const auto set = [&](const SettingKey& setting, const QString& text) {
        overridden.append({QLatin1String(setting.section), QLatin1String(setting.key), text});
    };
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    if (options.interface) {
        const bool serial = *options.interface == Interface::Serial;
        set(ParallelControl, flag(!serial));
        set(SerialControl, flag(serial));
    }
    if (options.parallelPortIndex)
        set(ParallelPortIndex, QString::number(*options.parallelPortIndex));
    if (options.commPortNumber)
        set(SerialPortIndex, QString::number(*options.commPortNumber - 1));
    if (options.dataBit)
        set(ParallelPortBit, QString::number(*options.dataBit));
    if (options.controlLine)
        set(SerialControlLine, flag(*options.controlLine == ControlLine::Dtr));
    if (options.activeLogic) {
        if (options.interface != Interface::Serial)
            set(ParallelActiveLogic, flag(*options.activeLogic));
        if (options.interface != Interface::Parallel)
            set(SerialActiveLogic, flag(*options.activeLogic));
    }
    return overridden;
}

} // namespace kestrova
