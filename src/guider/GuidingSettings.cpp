// SPDX-License-Identifier: GPL-3.0-or-later
#include "guider/GuidingSettings.h"
#include "guider/Messages.h"

#include <QLocale>

namespace kestrova {

namespace {

std::optional<int> wholeNumber(const QString& text, int lowest, int highest)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

// More than 0 and at most highest; "nan" and "inf" fail the comparisons.
std::optional<double> pixels(const QString& text, double highest)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !(value > 0) || !(value <= highest))
        return std::nullopt;
    return value;
}

std::optional<bool> flag(const QString& text)
{
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("1") || word == QLatin1String("true"))
        return true;
    if (word == QLatin1String("0") || word == QLatin1String("false"))
        return false;
    return std::nullopt;
}

// A host name or address as the socket takes it: something, with no blank and no bracket.
bool usableHost(const QString& host)
{
    if (host.isEmpty())
        return false;
    for (const QChar c : host) {
        if (c.isSpace() || c == QLatin1Char('[') || c == QLatin1Char(']'))
            return false;
    }
    return true;
}

std::optional<quint16> port(const QString& text)
{
    if (const std::optional<int> number = wholeNumber(text, 1, 65535))
        return static_cast<quint16>(*number);
    return std::nullopt;
}

std::optional<SettleCriteria> settleCriteria(double settlePixels, int seconds, int timeout)
{
    if (timeout < seconds)
        return std::nullopt;
    return SettleCriteria{settlePixels, seconds, timeout};
}

// The shortest text that reads back as the same number.
QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

template <typename T> Parsed<T> refused(const QString& error)
{
    return Parsed<T>{std::nullopt, error};
}

} // namespace

QString GuiderAddress::text() const
{
    return host.contains(QLatin1Char(':'))
               ? QStringLiteral("[%1]:%2").arg(host, QString::number(port))
               : QStringLiteral("%1:%2").arg(host, QString::number(port));
}

bool dithersAfter(int ditherEvery, int exposuresDone, int exposureCount)
{
    return ditherEvery > 0 && exposuresDone >= 1 && exposuresDone < exposureCount &&
           exposuresDone % ditherEvery == 0;
}

Parsed<int> parseDitherEvery(const QString& text)
{
    if (const std::optional<int> every = wholeNumber(text, 0, guiding::MaxDitherEvery))
        return {every, {}};
    return refused<int>(messages::invalidDitherEvery(text));
}

Parsed<double> parseDitherPixels(const QString& text)
{
    if (const std::optional<double> amount = pixels(text, guiding::MaxDitherPixels))
        return {amount, {}};
    return refused<double>(messages::invalidDitherPixels(text));
}

Parsed<SettleCriteria> parseSettle(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3)
        return refused<SettleCriteria>(
            messages::invalidSettle(text, QStringLiteral("three values are needed")));
    const std::optional<double> within = pixels(parts[0], guiding::MaxSettlePixels);
    if (!within)
        return refused<SettleCriteria>(messages::invalidSettle(
            text, QStringLiteral("the pixels \"%1\" are out of range").arg(parts[0].trimmed())));
    const std::optional<int> seconds = wholeNumber(parts[1], 0, guiding::MaxSettleSeconds);
    if (!seconds)
        return refused<SettleCriteria>(messages::invalidSettle(
            text, QStringLiteral("the seconds \"%1\" are out of range").arg(parts[1].trimmed())));
    const std::optional<int> timeout =
        wholeNumber(parts[2], guiding::MinSettleTimeoutSeconds, guiding::MaxSettleTimeoutSeconds);
    if (!timeout)
        return refused<SettleCriteria>(messages::invalidSettle(
            text, QStringLiteral("the timeout \"%1\" is out of range").arg(parts[2].trimmed())));
    if (const std::optional<SettleCriteria> criteria = settleCriteria(*within, *seconds, *timeout))
        return {criteria, {}};
    return refused<SettleCriteria>(
        messages::invalidSettle(text, QStringLiteral("the timeout is below the seconds")));
}

Parsed<GuiderAddress> parseGuiderAddress(const QString& text)
{
    const QString given = text.trimmed();
    GuiderAddress address;
    QString portText;
    bool portGiven = false;
    if (given.startsWith(QLatin1Char('['))) {
        const int close = given.indexOf(QLatin1Char(']'));
        if (close < 0)
            return refused<GuiderAddress>(messages::invalidGuiderAddress(
                text, QStringLiteral("the closing bracket is missing")));
        address.host = given.mid(1, close - 1);
        const QString rest = given.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return refused<GuiderAddress>(messages::invalidGuiderAddress(
                text, QStringLiteral("only :PORT may follow the bracket")));
        portGiven = !rest.isEmpty();
        portText = rest.mid(1);
    } else if (given.count(QLatin1Char(':')) == 1) {
        address.host = given.section(QLatin1Char(':'), 0, 0);
        portText = given.section(QLatin1Char(':'), 1);
        portGiven = true;
    } else {
        // No colon, or more than one: an IPv6 address without a port.
        address.host = given;
    }
    if (!usableHost(address.host))
        return refused<GuiderAddress>(messages::invalidGuiderAddress(
            text, QStringLiteral("the host is empty or holds a blank")));
    if (portGiven) {
        const std::optional<quint16> number = port(portText);
        if (!number)
            return refused<GuiderAddress>(messages::invalidGuiderAddress(
                text, QStringLiteral("the port \"%1\" is out of range").arg(portText)));
        address.port = *number;
    }
    return {address, {}};
}

QList<GuidingSettingText> guidingSettingsTexts(const GuidingSettings& settings)
{
    using namespace guiding;
    const DitherParameters& dither = settings.dither;
    return {
        {DitherEveryKey, QString::number(settings.ditherEvery)},
        {DitherPixelsKey, numberText(dither.pixels)},
        {RaOnlyKey, dither.raOnly ? QStringLiteral("1") : QStringLiteral("0")},
        {SettlePixelsKey, numberText(dither.settle.pixels)},
        {SettleTimeKey, QString::number(dither.settle.seconds)},
        {SettleTimeoutKey, QString::number(dither.settle.timeoutSeconds)},
        {GuiderHostKey, settings.guider.host},
        {GuiderPortKey, QString::number(settings.guider.port)},
    };
}

LoadedGuidingSettings readGuidingSettings(const GuidingLookup& lookup)
{
    using namespace guiding;
    const GuidingSettings defaults;
    LoadedGuidingSettings loaded;
    if (!lookup)
        return loaded;
    const QList<GuidingSettingText> defaultTexts = guidingSettingsTexts(defaults);
    const auto unreadable = [&loaded](const char* key) {
        const QString path =
            QStringLiteral("%1/%2").arg(QLatin1String(Section), QLatin1String(key));
        if (!loaded.unreadable.contains(path))
            loaded.unreadable << path;
    };
    // Reads key into field, or leaves the default there and notes the key.
    const auto read = [&](const char* key, auto convert, auto& field) {
        QString defaultText;
        for (const GuidingSettingText& text : defaultTexts) {
            if (text.key == QLatin1String(key))
                defaultText = text.text;
        }
        if (const auto value = convert(lookup(QLatin1String(key), defaultText)))
            field = *value;
        else
            unreadable(key);
    };

    GuidingSettings& settings = loaded.settings;
    DitherParameters& dither = settings.dither;
    read(
        DitherEveryKey, [](const QString& t) { return wholeNumber(t, 0, MaxDitherEvery); },
        settings.ditherEvery);
    read(
        DitherPixelsKey, [](const QString& t) { return pixels(t, MaxDitherPixels); },
        dither.pixels);
    read(RaOnlyKey, flag, dither.raOnly);
    read(
        SettlePixelsKey, [](const QString& t) { return pixels(t, MaxSettlePixels); },
        dither.settle.pixels);
    read(
        SettleTimeKey, [](const QString& t) { return wholeNumber(t, 0, MaxSettleSeconds); },
        dither.settle.seconds);
    read(
        SettleTimeoutKey,
        [](const QString& t) {
            return wholeNumber(t, MinSettleTimeoutSeconds, MaxSettleTimeoutSeconds);
        },
        dither.settle.timeoutSeconds);
    read(
        GuiderHostKey,
        [](const QString& t) {
            const QString host = t.trimmed();
            return usableHost(host) ? std::optional<QString>(host) : std::nullopt;
        },
        settings.guider.host);
    read(GuiderPortKey, port, settings.guider.port);

    // Either of the two may be the mistake: both go back to defaults that agree.
    if (!settleCriteria(dither.settle.pixels, dither.settle.seconds,
                        dither.settle.timeoutSeconds)) {
        dither.settle.seconds = defaults.dither.settle.seconds;
        dither.settle.timeoutSeconds = defaults.dither.settle.timeoutSeconds;
        unreadable(SettleTimeKey);
        unreadable(SettleTimeoutKey);
    }
    return loaded;
}

QString describeGuidingSettings(const GuidingSettings& settings)
{
    QString text;
    if (settings.ditheringOn()) {
        const QString every = settings.ditherEvery == 1
                                  ? QStringLiteral("each exposure")
                                  : QStringLiteral("every %1 exposures").arg(settings.ditherEvery);
        text = QStringLiteral("Dithering after %1 (never after the last), through the guider at "
                              "%2.\n")
                   .arg(every, settings.guider.text());
    } else {
        text = QStringLiteral("Dithering is off; --dither-every K dithers after every Kth "
                              "exposure.\n");
    }
    text += QStringLiteral("Stored in the group \"%1\" of the settings file:\n")
                .arg(QLatin1String(guiding::Section));

    const QList<GuidingSettingText> texts = guidingSettingsTexts(settings);
    const auto option = [](const QString& key) -> QString {
        using namespace guiding;
        if (key == QLatin1String(DitherEveryKey))
            return QStringLiteral("--dither-every K (0: off)");
        if (key == QLatin1String(DitherPixelsKey))
            return QStringLiteral("--dither-pixels P");
        if (key == QLatin1String(RaOnlyKey))
            return QStringLiteral("--dither-ra-only");
        if (key == QLatin1String(SettlePixelsKey))
            return QStringLiteral("--settle PIXELS,SECONDS,TIMEOUT");
        if (key == QLatin1String(GuiderHostKey))
            return QStringLiteral("--guider HOST[:PORT]");
        return {};
    };
    int keyWidth = QStringLiteral("Setting").size();
    int valueWidth = QStringLiteral("Value").size();
    for (const GuidingSettingText& row : texts) {
        keyWidth = std::max(keyWidth, int(row.key.size()));
        valueWidth = std::max(valueWidth, int(row.text.size()));
    }
    const auto line = [&](const QString& key, const QString& value, const QString& setBy) {
        return (key.leftJustified(keyWidth + 2) + value.leftJustified(valueWidth + 2) + setBy)
                   .trimmed() +
               QLatin1Char('\n');
    };
    text += line(QStringLiteral("Setting"), QStringLiteral("Value"), QStringLiteral("Option"));
    for (const GuidingSettingText& row : texts)
        text += line(row.key, row.text, option(row.key));
    return text;
}

} // namespace kestrova
