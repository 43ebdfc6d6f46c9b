#pragma once
// Rounding of the page's numbers, where saved layouts and the worked sizes must
// come out exactly: to single precision (float), and to a 32-bit whole number
// with halves to even.
#include <cmath>
#include <cstdint>
#include <limits>

#include "errors.h"

namespace vintrel {

inline float toSingle(double v) { return static_cast<float>(v); }

// Out-of-range values (and NaN) fail.
inline std::int32_t roundToInt32(double v)
{
    const double r = std::nearbyint(v); // default rounding mode: halves to even
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        throw RuntimeError(QStringLiteral("%1 does not fit a 32-bit whole number").arg(v));
    return static_cast<std::int32_t>(r);
}

} // namespace vintrel
