// SPDX-License-Identifier: GPL-3.0-or-later
// The options dialog's reading of stored texts: whatever a key holds, the dialog shows a value
// its control can show, the stored number itself when it fits, and that value is written back
// as text that reads again as the same number.
#include "config/OptionFields.h"

#include <cstdlib>

using namespace kestrova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const OptionField& field : options::All) {
        const Int16 shown = options::shownValue(field, text);
        if (shown < field.lowest || shown > field.highest)
            std::abort();
        Int16 expected = toInt16(QLatin1String(field.setting.defaultText));
        try {
            const Int16 stored = toInt16(text);
            if (stored >= field.lowest && stored <= field.highest)
                expected = stored;
        } catch (const ConversionError&) {
        }
        if (shown != expected || toInt16(options::storedText(shown)) != shown)
            std::abort();
    }
    return 0;
}
