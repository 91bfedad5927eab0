// Operations over the bytes of a turned neighbourhood that the step functions
// use again and again: the two kinds of extremes and the best-score scans.
// Each has a plain form, the definition, and on x86-64 an SSE2 form that does
// the same without a branch or a loop; tests hold the two equal on every input
// they try.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define LUMIVOR_RING_SSE2 1
#endif

#define LUMIVOR_INLINE inline __attribute__((always_inline))

namespace behaviour {

struct Extremes {
    long min;
    long max;
};

// Ring indices in scan order: ahead, then the pairs at +-1, +-2, +-3, behind last.
inline constexpr int32_t ii[8] = {0, 1, 7, 2, 6, 3, 5, 4};

// ---- Plain forms -----------------------------------------------------------

// Max-first extremes: a byte that raises max is not tried against min.
inline Extremes MaxFirstExtremesPlain(const uint8_t* m, int from, int count) {
    Extremes e{255, 0};
    for (int i = from; i < from + count; ++i) {
        const long x = m[i];
        if (x > e.max) {
            e.max = x;
        } else if (x < e.min) {
            e.min = x;
        }
    }
    return e;
}

// Min-first extremes: a byte that lowers min is not tried against max.
inline Extremes MinFirstExtremesPlain(const uint8_t* m, int from, int count) {
    Extremes e{255, 0};
    for (int i = from; i < from + count; ++i) {
        const long x = m[i];
        if (x < e.min) {
            e.min = x;
        } else if (x > e.max) {
            e.max = x;
        }
    }
    return e;
}

// Ring index of the first byte of `mask` (bit i: ring index i) in scan order.
struct ScanOrderTable {
    int8_t first[256];
    constexpr ScanOrderTable() : first() {
        for (int mask = 0; mask < 256; ++mask) {
            first[mask] = 0;
            for (int n = 0; n < 8; ++n) {
                if (mask & (1 << ii[n])) {
                    first[mask] = static_cast<int8_t>(ii[n]);
                    break;
                }
            }
        }
    }
};
inline constexpr ScanOrderTable kScanOrder{};

#if defined(LUMIVOR_RING_SSE2)

// ---- SSE2 forms ------------------------------------------------------------

// Bytes FROM .. FROM+N-1 of m in lanes 0 .. N-1 (m has at least 8 bytes).
template <int FROM>
LUMIVOR_INLINE __m128i LoadRing(const uint8_t* m) {
    __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(m));
    if constexpr (FROM > 0) v = _mm_srli_si128(v, FROM);
    return v;
}

template <int N>
LUMIVOR_INLINE __m128i LaneMask() {
    alignas(16) static constexpr uint8_t kMask[16] = {
        N > 0 ? 0xFF : 0, N > 1 ? 0xFF : 0, N > 2 ? 0xFF : 0, N > 3 ? 0xFF : 0,
        N > 4 ? 0xFF : 0, N > 5 ? 0xFF : 0, N > 6 ? 0xFF : 0, N > 7 ? 0xFF : 0};
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kMask));
}

LUMIVOR_INLINE int HorizontalMin(__m128i v) {
    v = _mm_min_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_min_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_min_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_min_epu8(v, _mm_srli_si128(v, 1));
    return _mm_cvtsi128_si32(v) & 255;
}

LUMIVOR_INLINE int HorizontalMax(__m128i v) {
    v = _mm_max_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 1));
    return _mm_cvtsi128_si32(v) & 255;
}

// Max-first extremes of lanes 0..N-1. A byte raises max exactly when it is
// above the maximum of the bytes before it (and 0), so max is the running
// maximum and min the minimum of the bytes that did not raise it.
template <int N>
LUMIVOR_INLINE void MaxFirstLanes(__m128i v, int* min, int* max) {
    __m128i p = _mm_max_epu8(v, _mm_slli_si128(v, 1));
    p = _mm_max_epu8(p, _mm_slli_si128(p, 2));
    p = _mm_max_epu8(p, _mm_slli_si128(p, 4));
    const __m128i before = _mm_slli_si128(p, 1);
    const __m128i kept = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, before), before),
                                       LaneMask<N>());
    const __m128i cand = _mm_or_si128(_mm_and_si128(kept, v), _mm_andnot_si128(kept, _mm_set1_epi8(-1)));
    *min = HorizontalMin(cand);
    *max = static_cast<int>((static_cast<uint64_t>(_mm_cvtsi128_si64(p)) >> (8 * (N - 1))) & 255);
}

template <int FROM, int N>
LUMIVOR_INLINE Extremes MaxFirstExtremes(const uint8_t* m) {
    int mn, mx;
    MaxFirstLanes<N>(LoadRing<FROM>(m), &mn, &mx);
    return Extremes{mn, mx};
}

// Min-first extremes are the max-first extremes of the complemented bytes,
// complemented back.
template <int FROM, int N>
LUMIVOR_INLINE Extremes MinFirstExtremes(const uint8_t* m) {
    int mn, mx;
    MaxFirstLanes<N>(_mm_xor_si128(LoadRing<FROM>(m), _mm_set1_epi8(-1)), &mn, &mx);
    return Extremes{255 - mx, 255 - mn};
}

// |m[i] - t| for lanes 0..7.
LUMIVOR_INLINE __m128i AbsDiff(__m128i v, long t) {
    const __m128i b = _mm_set1_epi8(static_cast<char>(t));
    return _mm_or_si128(_mm_subs_epu8(v, b), _mm_subs_epu8(b, v));
}

// Bit i set where lane i (of 8) equals `value`.
LUMIVOR_INLINE int LanesEqual(__m128i v, int value) {
    return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(value)))) & 255;
}

// Ring index chosen by a scan in scan order for the smallest / largest score
// (a tie goes to the earlier index; when nothing beats the start score the
// choice stays at index 0, which is also the first index of equal scores).
LUMIVOR_INLINE long ScanSmallest(__m128i scores) {
    const int best = HorizontalMin(_mm_or_si128(scores, _mm_andnot_si128(LaneMask<8>(), _mm_set1_epi8(-1))));
    return kScanOrder.first[LanesEqual(scores, best)];
}
LUMIVOR_INLINE long ScanLargest(__m128i scores) {
    const int best = HorizontalMax(_mm_and_si128(scores, LaneMask<8>()));
    return kScanOrder.first[LanesEqual(scores, best)];
}

#else  // no SSE2: the plain forms

template <int FROM, int N>
LUMIVOR_INLINE Extremes MaxFirstExtremes(const uint8_t* m) {
    return MaxFirstExtremesPlain(m, FROM, N);
}
template <int FROM, int N>
LUMIVOR_INLINE Extremes MinFirstExtremes(const uint8_t* m) {
    return MinFirstExtremesPlain(m, FROM, N);
}

#endif

}  // namespace behaviour
