// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The guiding settings: when to dither, how far, how the guider is to settle, and where it
// listens. Read from the settings file's "Guiding" group and from the command line.

namespace kestrova {

// When the guider counts as settled after a dither: the guide star within `pixels` of its new
// lock position for `seconds`. After `timeoutSeconds` from the dither the next exposure opens
// whether it has settled or not.
struct SettleCriteria {
    double pixels = 1.5;
    int seconds = 10;
    int timeoutSeconds = 60;
};

// One dither: a random shift of at most `pixels` guide camera pixels, in right ascension alone
// when raOnly, then the settling.
struct DitherParameters {
    double pixels = 5.0;
    bool raOnly = false;
    SettleCriteria settle;
};

// Where the guider's event server listens. The host is kept bare, also an IPv6 address ("::1").
struct GuiderAddress {
    QString host = QStringLiteral("localhost");
    quint16 port = 4400;

    // "localhost:4400"; an IPv6 address in brackets: "[::1]:4400".
    QString text() const;
};

struct GuidingSettings {
    int ditherEvery = 0; // K: a dither after every Kth exposure; 0: never
    DitherParameters dither;
    GuiderAddress guider;

    bool ditheringOn() const { return ditherEvery > 0; }
};

// Whether a dither follows the closing edge of exposure number exposuresDone (counted from 1)
// of a sequence of exposureCount: after every Kth one, never after the last, which no exposure
// follows.
bool dithersAfter(int ditherEvery, int exposuresDone, int exposureCount);

namespace guiding {
// The settings file's group and its keys, exactly as stored.
inline constexpr char Section[] = "Guiding";
inline constexpr char DitherEveryKey[] = "Dither Every";
inline constexpr char DitherPixelsKey[] = "Dither Pixels";
inline constexpr char RaOnlyKey[] = "RA Only";
inline constexpr char SettlePixelsKey[] = "Settle Pixels";
inline constexpr char SettleTimeKey[] = "Settle Time";
inline constexpr char SettleTimeoutKey[] = "Settle Timeout";
inline constexpr char GuiderHostKey[] = "Guider Host";
inline constexpr char GuiderPortKey[] = "Guider Port";

// The allowed values. Pixels must be more than 0; the settle timeout not below the settle time.
inline constexpr int MaxDitherEvery = 1000;
inline constexpr double MaxDitherPixels = 100;
inline constexpr double MaxSettlePixels = 50;
inline constexpr int MaxSettleSeconds = 3600;
inline constexpr int MinSettleTimeoutSeconds = 1;
inline constexpr int MaxSettleTimeoutSeconds = 3600;
} // namespace guiding

// A value read from the user's text, or why it cannot be used, with the allowed values.
template <typename T> struct Parsed {
    std::optional<T> value;
    QString error; // set when value is not

    explicit operator bool() const { return value.has_value(); }
};

// The command line's values. Blanks around the text are ignored; numbers are written with a
// decimal point. Each error names the option, the text given and the allowed values.
Parsed<int> parseDitherEvery(const QString& text);             // --dither-every K
Parsed<double> parseDitherPixels(const QString& text);         // --dither-pixels P
Parsed<SettleCriteria> parseSettle(const QString& text);       // --settle PIXELS,SECONDS,TIMEOUT
Parsed<GuiderAddress> parseGuiderAddress(const QString& text); // --guider HOST[:PORT]

// The stored text of a key in the "Guiding" group, or defaultText when it is absent.
using GuidingLookup = std::function<QString(const QString& key, const QString& defaultText)>;

struct LoadedGuidingSettings {
    GuidingSettings settings;
    // The keys ("Guiding/Key") whose stored text was not usable and whose default was taken.
    QStringList unreadable;
};

// Reads every key once. A text that does not convert or lies outside the allowed values is
// replaced by its default; a settle timeout below the settle time puts both back to theirs.
LoadedGuidingSettings readGuidingSettings(const GuidingLookup& lookup);

struct GuidingSettingText {
    QString key; // in the "Guiding" group
    QString text;
};

// The texts to store, one per key, in the order of the keys above; readGuidingSettings reads
// them back to the same settings.
QList<GuidingSettingText> guidingSettingsTexts(const GuidingSettings& settings);

// What `kestrova --guiding` prints: a line on what the settings do, then a table of the stored
// keys, their values and the command-line options that set them.
QString describeGuidingSettings(const GuidingSettings& settings);

} // namespace kestrova
