#pragma once
// The old runtime's numeric conversions, used where the page's numbers must come
// out exactly as users' saved layouts expect.
#include <cmath>
#include <cstdint>
#include <limits>

#include "errors.h"

namespace vintrel {

// Round to single precision, as storing into a Single does.
inline float toSingle(double v) { return static_cast<float>(v); }

// Convert to a 32-bit integer, rounding halves to even; out-of-range values fail.
inline std::int32_t toLong(double v)
{
    const double r = std::nearbyint(v); // default rounding mode: halves to even
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        throw RuntimeError(QStringLiteral("Overflow"));
    return static_cast<std::int32_t>(r);
}

} // namespace vintrel
