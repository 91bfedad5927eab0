#include "bots/trail_colours.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && !defined(__EMSCRIPTEN__)
#define LUMIVOR_HAS_AVX2_PASS 1
#include <immintrin.h>
#else
#define LUMIVOR_HAS_AVX2_PASS 0
#endif

namespace {

bool vector_allowed = true;

bool CpuHasAvx2() {
#if LUMIVOR_HAS_AVX2_PASS
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
#else
    return false;
#endif
}

inline uint8_t* CellOf(uint8_t* display, ptrdiff_t row, Point2i p) {
    return display + static_cast<ptrdiff_t>(p.y) * row + static_cast<ptrdiff_t>(p.x) * 3;
}

inline void ScalarEntry(const Point2i& p, RGB_888& colour, uint8_t* display, ptrdiff_t row) {
    const HSL_888 hsl = {colour.r, colour.g, colour.b};
    HSLtoRGB_inline(hsl, colour);
    uint8_t* cell = CellOf(display, row, p);
    cell[0] = colour.r;
    cell[1] = colour.g;
    cell[2] = colour.b;
}

#if LUMIVOR_HAS_AVX2_PASS

// How many entries ahead the display cells are fetched: the walk has just
// touched the habitat, not the display, and a trail crosses many rows.
constexpr unsigned long kPrefetchAhead = 24;
constexpr unsigned long kFetchStride = 2;

// HSLtoRGB_inline on eight colours at once, lane for lane the same integers.
__attribute__((target("avx2"), always_inline)) inline __m256i HslToRgb8(__m256i h, __m256i s,
                                                                        __m256i l) {
    const __m256i six = _mm256_set1_epi32(6);
    const __m256i c84 = _mm256_set1_epi32(84), c168 = _mm256_set1_epi32(168);
    const __m256i c255 = _mm256_set1_epi32(255), c256 = _mm256_set1_epi32(256);
    const __m256i zero = _mm256_setzero_si256();
    // Sectors: h <= 84, 84 < h <= 168, h > 168.
    const __m256i above84 = _mm256_cmpgt_epi32(h, c84);
    const __m256i above168 = _mm256_cmpgt_epi32(h, c168);
    const __m256i middle = _mm256_andnot_si256(above168, above84);
    __m256i r = _mm256_mullo_epi32(_mm256_sub_epi32(c84, h), six);
    r = _mm256_blendv_epi8(r, zero, middle);
    r = _mm256_blendv_epi8(r, _mm256_mullo_epi32(_mm256_sub_epi32(h, c168), six), above168);
    __m256i g = _mm256_mullo_epi32(h, six);
    g = _mm256_blendv_epi8(g, _mm256_mullo_epi32(_mm256_sub_epi32(c168, h), six), middle);
    g = _mm256_blendv_epi8(g, zero, above168);
    __m256i b = _mm256_and_si256(_mm256_mullo_epi32(_mm256_sub_epi32(h, c84), six), middle);
    b = _mm256_blendv_epi8(b, _mm256_mullo_epi32(_mm256_sub_epi32(c256, h), six), above168);
    r = _mm256_min_epi32(r, c255);
    g = _mm256_min_epi32(g, c255);
    b = _mm256_min_epi32(b, c255);
    const __m256i sat = _mm256_add_epi32(_mm256_add_epi32(s, s), six);
    const __m256i grey = _mm256_slli_epi32(_mm256_sub_epi32(c255, s), 8);
    r = _mm256_add_epi32(_mm256_mullo_epi32(r, sat), grey);
    g = _mm256_add_epi32(_mm256_mullo_epi32(g, sat), grey);
    b = _mm256_add_epi32(_mm256_mullo_epi32(b, sat), grey);
    // Dark colours scale by l; light ones by 255 - l and are lifted by 2l - 255.
    const __m256i light = _mm256_cmpgt_epi32(l, _mm256_set1_epi32(127));
    const __m256i scale = _mm256_blendv_epi8(l, _mm256_sub_epi32(c255, l), light);
    const __m256i lift = _mm256_and_si256(_mm256_sub_epi32(_mm256_add_epi32(l, l), c255), light);
    r = _mm256_add_epi32(_mm256_srai_epi32(_mm256_mullo_epi32(r, scale), 16), lift);
    g = _mm256_add_epi32(_mm256_srai_epi32(_mm256_mullo_epi32(g, scale), 16), lift);
    b = _mm256_add_epi32(_mm256_srai_epi32(_mm256_mullo_epi32(b, scale), 16), lift);
    // One colour per lane, r in the low byte (the byte results wrap as the
    // scalar conversion's casts do).
    r = _mm256_and_si256(r, c255);
    g = _mm256_slli_epi32(_mm256_and_si256(g, c255), 8);
    b = _mm256_slli_epi32(_mm256_and_si256(b, c255), 16);
    return _mm256_or_si256(_mm256_or_si256(r, g), b);
}

// The constants of the pass: byte shuffles between three bytes per colour and
// one colour per 32-bit lane.
struct Shuffles {
    __m256i pick_h, pick_s, pick_l, pack;
};

__attribute__((target("avx2"), always_inline)) inline Shuffles MakeShuffles() {
    constexpr char X = -128;  // a zero byte
    Shuffles sh;
    // The colours as LoadEight leaves them: 0-3 at bytes 0, 3, 6, 9 of the
    // low half, 4-7 at bytes 4, 7, 10, 13 of the high half.
    sh.pick_h = _mm256_setr_epi8(0, X, X, X, 3, X, X, X, 6, X, X, X, 9, X, X, X,  //
                                 4, X, X, X, 7, X, X, X, 10, X, X, X, 13, X, X, X);
    const __m256i one = _mm256_set1_epi8(1);
    sh.pick_s = _mm256_add_epi8(sh.pick_h, one);  // X + 1 keeps the top bit set
    sh.pick_l = _mm256_add_epi8(sh.pick_s, one);
    // Back to three bytes per colour, twelve per half.
    sh.pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, X, X, X, X,  //
                               0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, X, X, X, X);
    return sh;
}

// Eight colours of three bytes at `p`: the low half of the register loaded
// from byte 0, the high half from byte 8, so that no load reaches past them.
__attribute__((target("avx2"), always_inline)) inline __m256i LoadEight(const uint8_t* p) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

// Writes eight colours, one per lane with r in the low byte, as 24 bytes at `p`.
__attribute__((target("avx2"), always_inline)) inline void StoreEight(__m256i packed,
                                                                      const Shuffles& sh,
                                                                      uint8_t* p) {
    const __m256i bytes = _mm256_shuffle_epi8(packed, sh.pack);
    const __m128i lo = _mm256_castsi256_si128(bytes);
    const __m128i hi = _mm256_extracti128_si256(bytes, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), lo);
    const uint32_t lo_tail = static_cast<uint32_t>(_mm_extract_epi32(lo, 2));
    std::memcpy(p + 8, &lo_tail, 4);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 12), hi);
    const uint32_t hi_tail = static_cast<uint32_t>(_mm_extract_epi32(hi, 2));
    std::memcpy(p + 20, &hi_tail, 4);
}

// Converts and writes the eight colours from entry i on. With kFetch it first
// fetches the display cells kPrefetchAhead entries on, every kFetchStride-th
// of them: the trail moves one cell a step, so neighbouring entries mostly
// share a cache line.
template <bool kFetch>
__attribute__((target("avx2"), always_inline)) inline void PaintEight(
    const Point2i* xy, uint8_t* bytes, unsigned long i, uint8_t* display, ptrdiff_t row,
    const Shuffles& sh) {
    if constexpr (kFetch) {
        for (unsigned long k = 0; k < 8; k += kFetchStride) {
            const Point2i ahead = xy[i + k + kPrefetchAhead];
            // As an integer: a prefetch never faults, whatever the address.
            const uintptr_t a = reinterpret_cast<uintptr_t>(display) +
                                static_cast<uintptr_t>(static_cast<ptrdiff_t>(ahead.y) * row +
                                                       static_cast<ptrdiff_t>(ahead.x) * 3);
            __builtin_prefetch(reinterpret_cast<const void*>(a), 1);
        }
    }
    uint8_t* block = bytes + 3 * i;
    const __m256i both = LoadEight(block);
    const __m256i packed =
        HslToRgb8(_mm256_shuffle_epi8(both, sh.pick_h), _mm256_shuffle_epi8(both, sh.pick_s),
                  _mm256_shuffle_epi8(both, sh.pick_l));
    alignas(32) uint32_t rgb[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(rgb), packed);
    StoreEight(packed, sh, block);
    for (unsigned long k = 0; k < 8; ++k) {
        uint8_t* cell = CellOf(display, row, xy[i + k]);
        const uint32_t c = rgb[k];
        std::memcpy(cell, &c, 2);
        cell[2] = static_cast<uint8_t>(c >> 16);
    }
}

__attribute__((target("avx2"))) void PaintTrailAvx2(const Point2i* xy, RGB_888* colours,
                                                    unsigned long n, uint8_t* display,
                                                    ptrdiff_t row) {
    uint8_t* bytes = reinterpret_cast<uint8_t*>(colours);
    const Shuffles sh = MakeShuffles();
    unsigned long i = 0;
    for (; i + 8 + kPrefetchAhead <= n; i += 8) PaintEight<true>(xy, bytes, i, display, row, sh);
    for (; i + 8 <= n; i += 8) PaintEight<false>(xy, bytes, i, display, row, sh);
    for (; i < n; ++i) ScalarEntry(xy[i], colours[i], display, row);
}

// Converts the eight HSL cells at `hsl` (hue shifted by `hue_shift`) into
// the eight RGB cells at `rgb`, as PaintCell shows them.
__attribute__((target("avx2"))) void ShowEightCellsAvx2(const uint8_t* hsl, uint8_t* rgb,
                                                        uint8_t hue_shift) {
    const Shuffles sh = MakeShuffles();
    const __m256i both = LoadEight(hsl);
    const __m256i h = _mm256_and_si256(
        _mm256_add_epi32(_mm256_shuffle_epi8(both, sh.pick_h), _mm256_set1_epi32(hue_shift)),
        _mm256_set1_epi32(255));
    StoreEight(
        HslToRgb8(h, _mm256_shuffle_epi8(both, sh.pick_s), _mm256_shuffle_epi8(both, sh.pick_l)),
        sh, rgb);
}

#endif

}  // namespace

void ShowMarkedCells(const uint8_t* hsl, uint8_t* rgb, uint32_t marked, uint8_t hue_shift) {
#if LUMIVOR_HAS_AVX2_PASS
    if (vector_allowed && CpuHasAvx2()) {
        // Eight at a time, converted together, then the marked ones kept:
        // cheaper than one conversion per cell from two marked cells on.
        for (int half = 0; half < 2; ++half, hsl += 24, rgb += 24, marked >>= 8) {
            uint32_t eight = marked & 0xFFu;
            if (eight == 0xFFu) {
                ShowEightCellsAvx2(hsl, rgb, hue_shift);
            } else if (eight != 0) {
                uint8_t shown[24];
                ShowEightCellsAvx2(hsl, shown, hue_shift);
                for (; eight != 0; eight &= eight - 1) {
                    const int k = 3 * __builtin_ctz(eight);
                    std::memcpy(rgb + k, shown + k, 3);
                }
            }
        }
        return;
    }
#endif
    for (; marked != 0; marked &= marked - 1) {
        const int k = 3 * __builtin_ctz(marked);
        const uint8_t* c = hsl + k;
        RGB_888 shown;
        HSLtoRGB_inline(HSL_888{static_cast<uint8_t>(c[0] + hue_shift), c[1], c[2]}, shown);
        rgb[k] = shown.r;
        rgb[k + 1] = shown.g;
        rgb[k + 2] = shown.b;
    }
}

bool PaintTrailAfterWalk() {
    return vector_allowed && CpuHasAvx2();
}

void AllowVectorTrailPaint(bool allowed) {
    vector_allowed = allowed;
}

void PaintTrail(const Point2i* xy, RGB_888* colours, unsigned long n, uint8_t* display,
                ptrdiff_t row) {
#if LUMIVOR_HAS_AVX2_PASS
    if (CpuHasAvx2()) {
        PaintTrailAvx2(xy, colours, n, display, row);
        return;
    }
#endif
    for (unsigned long i = 0; i < n; ++i) ScalarEntry(xy[i], colours[i], display, row);
}
