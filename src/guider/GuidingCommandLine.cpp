// SPDX-License-Identifier: GPL-3.0-or-later
#include "guider/GuidingCommandLine.h"

#include <QCommandLineParser>

namespace kestrova {

GuidingCommandLine::GuidingCommandLine()
    : every_(QStringLiteral("dither-every"),
             QStringLiteral("Dither after every Kth exposure but the last, through the guider "
                            "(PHD2); 0 turns dithering off. Stores the guiding options given "
                            "and prints them, or with a sequence applies them to that run."),
             QStringLiteral("K")),
      pixels_(QStringLiteral("dither-pixels"),
              QStringLiteral("The dither's largest shift in guide camera pixels."),
              QStringLiteral("P")),
      raOnly_(QStringLiteral("dither-ra-only"), QStringLiteral("Dither in right ascension only.")),
      settle_(QStringLiteral("settle"),
              QStringLiteral("Settled: the guide star within PIXELS for SECONDS; the next "
                             "exposure opens after TIMEOUT seconds at the latest."),
              QStringLiteral("PIXELS,SECONDS,TIMEOUT")),
      guider_(QStringLiteral("guider"),
              QStringLiteral("The guider's event server (localhost:4400 by default)."),
              QStringLiteral("HOST[:PORT]")),
      print_(QStringLiteral("guiding"), QStringLiteral("Print the guiding settings and exit."))
{
}

void GuidingCommandLine::addTo(QCommandLineParser& parser) const
{
    for (const QCommandLineOption* option :
         {&every_, &pixels_, &raOnly_, &settle_, &guider_, &print_})
        parser.addOption(*option);
}

bool GuidingCommandLine::changes(const QCommandLineParser& parser) const
{
    return parser.isSet(every_) || parser.isSet(pixels_) || parser.isSet(raOnly_) ||
           parser.isSet(settle_) || parser.isSet(guider_);
}

bool GuidingCommandLine::printWanted(const QCommandLineParser& parser) const
{
    return parser.isSet(print_);
}

Parsed<GuidingSettings> GuidingCommandLine::apply(const QCommandLineParser& parser,
                                                  GuidingSettings settings) const
{
    const auto take = [&parser](const QCommandLineOption& option, auto parse, auto& value) {
        if (!parser.isSet(option))
            return QString();
        auto parsed = parse(parser.value(option));
        if (parsed)
            value = *parsed.value;
        return parsed.error;
    };
    for (const QString& error : {take(every_, parseDitherEvery, settings.ditherEvery),
                                 take(pixels_, parseDitherPixels, settings.dither.pixels),
                                 take(settle_, parseSettle, settings.dither.settle),
                                 take(guider_, parseGuiderAddress, settings.guider)})
        if (!error.isEmpty())
            return {std::nullopt, error};
    if (parser.isSet(raOnly_) || parser.isSet(every_))
        settings.dither.raOnly = parser.isSet(raOnly_);
    return {settings, QString()};
}

} // namespace kestrova
