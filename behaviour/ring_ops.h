// Operations over the bytes of a turned neighbourhood that the step functions
// use again and again: the two kinds of extremes and the scan order.
//
// These are plain loops with branches. Branch-free forms (selects, and SSE2
// prefix maxima) were measured and were slower here: neighbouring cells are
// alike, so the branches predict well, and the selects lengthen the chain of
// dependent instructions from one step's reads to the next step's heading.
#pragma once

#include <cstdint>

#include "colour/force_inline.h"

namespace behaviour {

struct Extremes {
    long min;
    long max;
};

// Ring indices in scan order: ahead, then the pairs at +-1, +-2, +-3, behind last.
inline constexpr int32_t ii[8] = {0, 1, 7, 2, 6, 3, 5, 4};

// Max-first extremes of m[FROM .. FROM+N-1]: start with max 0 and min 255; a
// byte that raises max is not tried against min. Not the true extremes: the
// range max - min can be negative.
template <int FROM, int N>
LUMIVOR_INLINE Extremes MaxFirstExtremes(const uint8_t* m) {
    Extremes e{255, 0};
    for (int i = FROM; i < FROM + N; ++i) {
        const long x = m[i];
        if (x > e.max) {
            e.max = x;
        } else if (x < e.min) {
            e.min = x;
        }
    }
    return e;
}

// Min-first extremes: start with min 255 and max 0; a byte that lowers min is
// not tried against max.
template <int FROM, int N>
LUMIVOR_INLINE Extremes MinFirstExtremes(const uint8_t* m) {
    Extremes e{255, 0};
    for (int i = FROM; i < FROM + N; ++i) {
        const long x = m[i];
        if (x < e.min) {
            e.min = x;
        } else if (x > e.max) {
            e.max = x;
        }
    }
    return e;
}

}  // namespace behaviour
