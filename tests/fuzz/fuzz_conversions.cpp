// SPDX-License-Identifier: GPL-3.0-or-later
// Text conversions against a small reference model written independently of the real ones:
// a hand-rolled scanner for the number grammar and rounding by comparison with the halfway
// point. Any disagreement, in value or in accepting the text, aborts.
#include "config/Conversions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

using namespace kestrova;

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number the text stands for, or nothing when the text is not a decimal number.
std::optional<double> referenceNumber(const std::string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    const std::string s = text.substr(begin, end - begin);
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < s.size() && isDigit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        size_t exponentDigits = 0;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    return std::strtod(s.c_str(), nullptr);
}

double roundHalfEven(double value)
{
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

template <typename T, typename Convert>
std::optional<T> attempt(Convert convert, const QString& text)
{
    try {
        return convert(text);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // Only plain ASCII texts are compared; the rest must still convert or fail without
    // crashing. Beyond ASCII the only thing the number grammar meets is Unicode white space
    // (a no-break space, U+0085), which the conversions take as blanks and the model does not.
    const QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    const bool comparable =
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0 && c < 0x7f; });

    const auto int16 = attempt<Int16>(toInt16, text);
    const auto byte = attempt<std::uint8_t>(toByte, text);
    const auto boolean = attempt<bool>(toBoolean, text);
    if (!comparable)
        return 0;

    const std::optional<double> number = referenceNumber(bytes);
    std::optional<Int16> expectedInt16;
    std::optional<std::uint8_t> expectedByte;
    if (number && std::isfinite(*number)) {
        const double rounded = roundHalfEven(*number);
        if (rounded >= -32768 && rounded <= 32767)
            expectedInt16 = Int16(rounded);
        if (rounded >= 0 && rounded <= 255)
            expectedByte = std::uint8_t(rounded);
    }
    if (int16 != expectedInt16 || byte != expectedByte)
        std::abort();

    std::optional<bool> expectedBoolean;
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("true"))
        expectedBoolean = true;
    else if (word == QLatin1String("false"))
        expectedBoolean = false;
    else if (number)
        expectedBoolean = *number != 0;
    if (boolean != expectedBoolean)
        std::abort();
    return 0;
}
