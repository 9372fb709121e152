// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Int16.h"

#include <limits>

namespace kestrova {

OverflowError::OverflowError() : std::runtime_error("16-bit overflow") {}

namespace {

Int16 checked(int result)
{
    if (result < std::numeric_limits<Int16>::min() || result > std::numeric_limits<Int16>::max())
        throw OverflowError();
    return static_cast<Int16>(result);
}

} // namespace

Int16 add16(Int16 a, Int16 b)
{
    return checked(int(a) + int(b));
}
Int16 sub16(Int16 a, Int16 b)
{
    return checked(int(a) - int(b));
}
Int16 mul16(Int16 a, Int16 b)
{
    return checked(int(a) * int(b));
}

} // namespace kestrova
