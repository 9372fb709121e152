// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever text a setting holds, reading it never crashes, and the conversions agree with a model
// written apart from them: strtod on plain decimal characters, rounding half to even through
// remainder.
#include "config/Conversions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

using namespace kestrova;

// The number a plain ASCII text stands for, NaN when it is none.
static double modelNumber(const std::string& text)
{
    const char* const blanks = " \t\n\v\f\r";
    const size_t begin = std::min(text.find_first_not_of(blanks), text.size());
    const std::string number = text.substr(begin, text.find_last_not_of(blanks) + 1 - begin);
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    const bool decimal = number.find_first_not_of("0123456789+-.eE") == std::string::npos;
    return decimal && !number.empty() && end == number.c_str() + number.size() ? value : NAN;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    const auto read = [&text](auto convert) -> std::optional<double> {
        try {
            return double(convert(text));
        } catch (const ConversionError&) {
            return std::nullopt;
        }
    };
    const auto int16 = read(toInt16);
    const auto byte = read(toByte);
    const auto boolean = read(toBoolean);
    // Beyond ASCII the grammar meets only Unicode blanks, which the model does not know.
    if (!std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0 && c < 0x7f; }))
        return 0;
    const double number = modelNumber(bytes);
    const double rounded = number - std::remainder(number, 1.0);
    const auto within = [rounded](double lowest, double highest) -> std::optional<double> {
        return rounded >= lowest && rounded <= highest ? std::optional(rounded) : std::nullopt;
    };
    const QString word = text.trimmed().toLower();
    const std::optional<double> expectedBoolean = word == QLatin1String("true")    ? 1.0
                                                  : word == QLatin1String("false") ? 0.0
                                                  : std::isnan(number) ? std::optional<double>()
                                                                       : double(number != 0);
    if (int16 != within(-32768, 32767) || byte != within(0, 255) || boolean != expectedBoolean)
        std::abort();
    return 0;
}
