// The building blocks of step functions. Each family is numbered by the gene
// value that selects it: set_val_N (gene 3) writes the new cell colour,
// get_dir_N (gene 4) proposes a direction from channel B, rnd_dir_N (gene 5)
// adds a random turn, mod_val_N (gene 2) adds a random offset to the value.
//
// Values and directions are signed 64-bit and never reduced here; `>>` is an
// arithmetic shift. The random members draw exactly one number per call, from
// the global generator unless given another source of draws.
#pragma once

#include <cstdint>

#include "behaviour/ring_ops.h"
#include "bots/bot.h"
#include "colour/force_inline.h"
#include "colour/random_tovi.h"

// The blocks are inlined (LUMIVOR_INLINE) into every preset step function and
// walk: a call per block would cost more than the block itself.

namespace behaviour {

// The next number of the global generator, inlined into the step loop.
LUMIVOR_INLINE long NextRandom() {
    if (unsafe_state_tovi.type != 0) return random_step_tovi(&unsafe_state_tovi);
    return random_tovi();
}

// Where the random blocks draw from: the global generator, unless a walk
// gives them its own copy of the generator's positions (see FastWalk).
struct GlobalDraw {
    LUMIVOR_INLINE long operator()() const { return NextRandom(); }
};

LUMIVOR_INLINE long Component(const HSL_888* c, int k) {
    return k == 0 ? c->h : (k == 1 ? c->s : c->l);
}

// Moves hue u by a full turn so that it lies within half a turn of hue t: a
// plain average of the two then follows the shorter way round the circle.
LUMIVOR_INLINE long HueUnwrap(long u, long t) {
    if (u - t > 127) return u - 256;
    if (u - t < -127) return u + 256;
    return u;
}

LUMIVOR_INLINE long Abs(long v) {
    return v < 0 ? -v : v;
}

// ---- Value writers ---------------------------------------------------------

enum class Written { Level, Mean, Quarter };
enum class Others { Cell, Drift16, Drift32, BlendOwn, BlendCell };

// Writes the three bytes of `out` from the value on channel `ch` and returns
// the level written (the value modulo 256 on the hue, clamped otherwise).
template <Written W, Others O>
LUMIVOR_INLINE long SetVal(const Core_* core, long value, unsigned char* out, unsigned char ch) {
    if (ch > 2) return value;
    long level;
    if (ch == 0) {
        level = value & 255;
    } else {
        level = value < 0 ? 0 : (value > 255 ? 255 : value);
    }
    const HSL_888* cell = core->cell_hsl;
    const HSL_888* own = core->own_hsl;
    for (int k = 0; k < 3; ++k) {
        const long c = Component(cell, k);
        long v;
        if (k == ch) {
            if constexpr (W == Written::Level) {
                v = level;
            } else if constexpr (W == Written::Mean) {
                v = k == 0 ? ((HueUnwrap(c, level) + level) >> 1) & 255 : (level + c) >> 1;
            } else {
                if (k == 0) {
                    const long u = HueUnwrap(c, level);
                    v = (u - ((u - level) >> 2)) & 255;
                } else {
                    v = (3 * c + level) >> 2;
                }
            }
        } else {
            const long o = Component(own, k);
            if constexpr (O == Others::Cell) {
                v = c;
            } else if constexpr (O == Others::Drift16 || O == Others::Drift32) {
                if (k == 0) {
                    const long u = HueUnwrap(c, o);
                    v = (u - ((u - o) >> 4)) & 255;
                } else if constexpr (O == Others::Drift16) {
                    v = (15 * c + o) >> 4;
                } else {
                    v = (31 * c + o) >> 5;
                }
            } else if constexpr (O == Others::BlendOwn) {
                const long w = level >> 2;
                v = (c * (255 - w) + o * w) >> 8;
            } else {
                const long w = (level >> 2) + 192;
                v = (o * (255 - w) + c * w) >> 8;
            }
        }
        out[k] = static_cast<unsigned char>(v);
    }
    return level;
}

// The value writers by number: SetVal with the way each writes.
inline constexpr auto set_val_1 = SetVal<Written::Level, Others::Cell>;
inline constexpr auto set_val_2 = SetVal<Written::Mean, Others::Cell>;
inline constexpr auto set_val_3 = SetVal<Written::Quarter, Others::Cell>;
inline constexpr auto set_val_5 = SetVal<Written::Mean, Others::Drift16>;
inline constexpr auto set_val_6 = SetVal<Written::Mean, Others::Drift32>;
inline constexpr auto set_val_10 = SetVal<Written::Level, Others::BlendOwn>;
inline constexpr auto set_val_11 = SetVal<Written::Level, Others::BlendCell>;
inline constexpr auto set_val_12 = SetVal<Written::Mean, Others::BlendOwn>;
inline constexpr auto set_val_13 = SetVal<Written::Mean, Others::BlendCell>;

// ---- Direction sources -----------------------------------------------------

// The smallest (or largest) of eight keys, compared pairwise: three compares
// deep instead of a chain of eight, which shortens the path from one step's
// reads to the next step's heading. A scan for the best score keeps the
// first of equal scores; its keys are made so that the earlier one is the
// better key.
template <bool kSmaller>
LUMIVOR_INLINE long BestKey(const long (&key)[8]) {
    const auto pick = [](long a, long b) {
        if constexpr (kSmaller) return b < a ? b : a;
        return b > a ? b : a;
    };
    return pick(pick(pick(key[0], key[1]), pick(key[2], key[3])),
                pick(pick(key[4], key[5]), pick(key[6], key[7])));
}

// Scans the ring indices in the order of `ii` for the best score (0..255,
// smallest or largest); a tie is won by the earlier index, and the choice is
// index 0 unless a score beats `start`. Each key holds the score, the place in
// the scan and the ring index.
template <bool kSmaller, typename Score>
LUMIVOR_INLINE long Scan(const uint8_t* m, long start, Score score) {
    long key[8];
    for (int n = 0; n < 8; ++n) {
        const long place = kSmaller ? n : 7 - n;
        key[n] = score(long{m[ii[n]]}) * 64 + place * 8 + ii[n];
    }
    const long best = BestKey<kSmaller>(key);
    const long s = best >> 6;
    return (kSmaller ? s < start : s > start) ? (best & 7) : 0;
}

// The comparisons of a plain scan for the best score (the value sources' own).
LUMIVOR_INLINE bool Smaller(long a, long b) {
    return a < b;
}
LUMIVOR_INLINE bool Larger(long a, long b) {
    return a > b;
}

LUMIVOR_INLINE long get_dir_1(const Core_* c, long) {
    return c->nbh_b[8] & 7;
}
LUMIVOR_INLINE long get_dir_2(const Core_* c, long) {
    return (c->nbh_b[8] >> 1) & 7;
}
LUMIVOR_INLINE long get_dir_3(const Core_* c, long) {
    return (c->nbh_b[8] >> 2) & 7;
}
LUMIVOR_INLINE long get_dir_4(const Core_* c, long) {
    return (c->nbh_b[8] >> 3) & 7;
}
LUMIVOR_INLINE long get_dir_5(const Core_* c, long) {
    return (c->nbh_b[8] >> 4) & 7;
}
LUMIVOR_INLINE long get_dir_6(const Core_* c, long h) {
    return h + Scan<true>(c->nbh_b, 255, [](long x) { return x; });
}
LUMIVOR_INLINE long get_dir_7(const Core_* c, long h) {
    return h + Scan<false>(c->nbh_b, 0, [](long x) { return x; });
}
LUMIVOR_INLINE long FirstNear(const Core_* c, long h, long limit) {
    const uint8_t* m = c->nbh_b;
    const long centre = m[8];
    for (int n = 0; n < 7; ++n) {
        const int i = ii[n];
        if (Abs(m[i] - centre) < limit) return h + i;
    }
    return h - 4;
}
LUMIVOR_INLINE long get_dir_13(const Core_* c, long h) {
    const long own = c->own_b;
    return h + Scan<false>(c->nbh_b, 0, [own](long x) { return Abs(x - own); });
}
LUMIVOR_INLINE long get_dir_14(const Core_* c, long h) {
    const long own = c->own_b;
    return h + Scan<true>(c->nbh_b, 255, [own](long x) { return Abs(x - own); });
}
LUMIVOR_INLINE long get_dir_15(const Core_* c, long h) {
    const uint8_t* m = c->nbh_b;
    const long mean = (long{m[0]} + m[1] + m[2] + m[3] + m[4] + m[5] + m[6] + m[7]) >> 3;
    return h + Scan<true>(m, 255, [mean](long x) { return Abs(x - mean); });
}
LUMIVOR_INLINE long get_dir_11(const Core_* c, long h) {
    return FirstNear(c, h, 16);
}
LUMIVOR_INLINE long get_dir_12(const Core_* c, long h) {
    return FirstNear(c, h, 32);
}
LUMIVOR_INLINE long get_dir_17(const Core_* c, long h) {
    const Extremes e = MinFirstExtremes<0, 8>(c->nbh_b);
    const long centre = c->nbh_b[8];
    return (e.min >= centre && e.max <= centre) ? h : h + 4;
}
LUMIVOR_INLINE long get_dir_19(const Core_* c, long) {
    const Extremes e = MinFirstExtremes<0, 8>(c->nbh_b);
    return ((e.max - e.min) >> 1) & 7;
}
LUMIVOR_INLINE long SideSum(const uint8_t* m, int first) {
    return long{m[first]} + m[first + 1] + m[first + 2];
}
LUMIVOR_INLINE long get_dir_20(const Core_* c, long h) {
    return SideSum(c->nbh_b, 1) < SideSum(c->nbh_b, 5) ? h + 1 : h - 1;
}
LUMIVOR_INLINE long get_dir_21(const Core_* c, long h) {
    return SideSum(c->nbh_b, 1) > SideSum(c->nbh_b, 5) ? h + 1 : h - 1;
}
template <int FIRST>
LUMIVOR_INLINE long SideRange(const uint8_t* m) {
    const Extremes e = MinFirstExtremes<FIRST, 3>(m);
    return e.max - e.min;
}
LUMIVOR_INLINE long get_dir_22(const Core_* c, long h) {
    return SideRange<1>(c->nbh_b) > SideRange<5>(c->nbh_b) ? h + 1 : h - 1;
}
LUMIVOR_INLINE long get_dir_23(const Core_* c, long h) {
    return SideRange<1>(c->nbh_b) < SideRange<5>(c->nbh_b) ? h + 1 : h - 1;
}

// ---- Random turns ----------------------------------------------------------

inline constexpr int8_t rnd_dir_5_v[4] = {-1, 0, 0, 1};
inline constexpr int8_t rnd_dir_6_v[8] = {-1, 0, 0, 0, 0, 0, 0, 1};
inline constexpr int8_t rnd_dir_7_v[16] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
inline constexpr int8_t rnd_dir_8_v[8] = {-1, -1, 0, 0, 0, 0, 0, 1};
inline constexpr int8_t rnd_dir_9_v[8] = {-1, 0, 0, 0, 0, 0, 1, 1};
inline constexpr int8_t rnd_dir_10_v[16] = {-1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
inline constexpr int8_t rnd_dir_11_v[16] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1};
inline constexpr int8_t rnd_dir_13_v[8] = {0, 0, 0, 0, 0, 0, 0, 1};
inline constexpr int8_t rnd_dir_14_v[16] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr int8_t rnd_dir_15_v[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_1(const Core_*, long d, Draw draw = Draw{}) {
    return (draw() & 63) == 63 ? d + 7 : d;
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_2(const Core_*, long d, Draw draw = Draw{}) {
    return (draw() & 63) == 63 ? d + 1 : d;
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_4(const Core_*, long d, Draw draw = Draw{}) {
    return (draw() & 63) == 63 ? d + 1 : d;
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_5(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_5_v[draw() & 3];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_6(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_6_v[draw() & 7];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_7(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_7_v[draw() & 15];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_8(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_8_v[draw() & 7];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_9(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_9_v[draw() & 7];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_10(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_10_v[draw() & 15];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_11(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_11_v[draw() & 15];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_13(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_13_v[draw() & 7];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_14(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_14_v[draw() & 15];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long rnd_dir_15(const Core_*, long d, Draw draw = Draw{}) {
    return d + rnd_dir_15_v[draw() & 15];
}

// ---- Random value offsets --------------------------------------------------

inline constexpr int32_t mod_val_13_r[2] = {-2, 2};
inline constexpr int32_t mod_val_14_r[4] = {-2, 0, 0, 2};
inline constexpr int32_t mod_val_15_r[8] = {-2, 0, 0, 0, 0, 0, 0, 2};

template <class Draw = GlobalDraw>
LUMIVOR_INLINE long mod_val_13(const Core_*, long v, Draw draw = Draw{}) {
    return v + mod_val_13_r[draw() & 1];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long mod_val_14(const Core_*, long v, Draw draw = Draw{}) {
    return v + mod_val_14_r[draw() & 3];
}
template <class Draw = GlobalDraw>
LUMIVOR_INLINE long mod_val_15(const Core_*, long v, Draw draw = Draw{}) {
    return v + mod_val_15_r[draw() & 7];
}

}  // namespace behaviour
