// The step-function pipeline. Every preset behaviour is the same ten stages,
// each stage's option chosen by one gene: genes 0-3 shape the value on
// channel A, genes 4-7 the direction on channel B, gene 8 names channel A for
// the value writer. The pipeline is a template over those genes, so each
// preset step function is straight-line code with its choices settled at
// compile time; gene values without a meaning do not compile.
//
// Random draws happen in a fixed order: value modifier (genes 2 = 13..15),
// random turn (gene 5 != 0), direction blend (gene 7 = 1 or 2).
#pragma once

#include "behaviour/blocks.h"
#include "colour/force_inline.h"

namespace behaviour {

template <int G>
inline constexpr bool kNever = false;

// Stage 2: where the value comes from. P is the previous value.
template <int G0>
LUMIVOR_INLINE long ValueSource(const Core_* core, long P) {
    const uint8_t* n = core->nbh_a;
    const long c = n[8];
    const long A = core->own_a;
    auto sum8 = [n] { return long{n[0]} + n[1] + n[2] + n[3] + n[4] + n[5] + n[6] + n[7]; };
    auto odd4 = [n] { return long{n[1]} + n[3] + n[5] + n[7]; };
    // Scans ring indices 0..7 in order for the best score; ties go to the lower index.
    auto best = [n](long start_score, long start_choice, auto score, auto better) {
        long s_best = start_score;
        long choice = start_choice;
        for (int i = 0; i < 8; ++i) {
            const long s = score(long{n[i]});
            if (better(s, s_best)) {
                s_best = s;
                choice = n[i];
            }
        }
        return choice;
    };
    if constexpr (G0 == 0 || G0 == 31) {
        return P;
    } else if constexpr (G0 == 1) {
        return n[7];
    } else if constexpr (G0 == 2) {
        return n[3];
    } else if constexpr (G0 == 5) {
        return c;
    } else if constexpr (G0 == 6) {
        return P < c ? P : c;
    } else if constexpr (G0 == 7) {
        return P > c ? P : c;
    } else if constexpr (G0 == 8) {
        return Abs(c - P) > 64 ? c : P;
    } else if constexpr (G0 == 9) {
        return Abs(c - P) < 64 ? c : P;
    } else if constexpr (G0 == 10) {
        return (odd4() + c) / 7;
    } else if constexpr (G0 == 11) {
        return (odd4() + 4 * c) >> 3;
    } else if constexpr (G0 == 12) {
        return odd4() >> 2;
    } else if constexpr (G0 == 13) {
        return (sum8() + c) / 9;
    } else if constexpr (G0 == 14) {
        return sum8() >> 3;
    } else if constexpr (G0 == 15) {
        return (sum8() - 4 * c) >> 2;
    } else if constexpr (G0 == 18) {
        const long X = (12 * c - sum8()) >> 2;
        return (3 * c * X) >> 2;
    } else if constexpr (G0 == 21) {
        const long X = (2 * c + n[2] + n[3] + n[4] - n[0] - n[6] - n[7]) >> 1;
        return (3 * c * X) >> 2;
    } else if constexpr (G0 == 23) {
        const long X = (3 * long{n[2]} - n[6]) >> 1;
        return (X + c) >> 1;
    } else if constexpr (G0 == 24) {
        long m = n[0];
        for (int i = 1; i < 8; ++i) m = n[i] < m ? n[i] : m;
        return m;
    } else if constexpr (G0 == 26) {
        return best(
            0, P, [c](long x) { return Abs(x - c); }, Larger);
    } else if constexpr (G0 == 28) {
        return best(
            0, P, [A](long x) { return Abs(x - A); }, Larger);
    } else if constexpr (G0 == 29) {
        return best(
            255, P, [A](long x) { return Abs(x - A); }, Smaller);
    } else if constexpr (G0 == 32) {
        const long mean = sum8() >> 3;
        return best(
            255, c, [mean](long x) { return Abs(x - mean); }, Smaller);
    } else if constexpr (G0 == 35) {
        const Extremes e = MinFirstExtremes<0, 8>(n);
        if (c < e.min) return e.min;
        return c < e.max ? c : e.max;
    } else {
        static_assert(kNever<G0>, "value source without a meaning");
    }
}

// Stage 3: when the value is replaced by the centre c.
template <int G1>
LUMIVOR_INLINE bool ValueGuard(const Core_* core, long V) {
    const long A = core->own_a;
    if constexpr (G1 == 0) {
        return false;
    } else if constexpr (G1 == 1) {
        return V < A;
    } else if constexpr (G1 == 2) {
        return V > A;
    } else if constexpr (G1 == 3) {
        return Abs(A - V) > 128;
    } else if constexpr (G1 == 4) {
        return Abs(A - V) > 32;
    } else if constexpr (G1 >= 5 && G1 <= 8) {
        const Extremes e = MaxFirstExtremes<0, 8>(core->nbh_a);
        const long range = e.max - e.min;
        if constexpr (G1 == 5) return range < 32;
        if constexpr (G1 == 6) return range > 224;
        if constexpr (G1 == 7) return range > 32;
        if constexpr (G1 == 8) return range < 224;
    } else {
        static_assert(kNever<G1>, "value guard without a meaning");
    }
}

// Stage 4: a fixed nudge, a pull toward the own colour A, or a random offset.
template <int G2, class Draw>
LUMIVOR_INLINE long ValueModifier(const Core_* core, long V, Draw draw) {
    constexpr long kFixed[8] = {0, 1, 2, 4, 8, -1, -2, -4};
    constexpr long kPull[4] = {2, 4, 8, 16};
    if constexpr (G2 >= 0 && G2 <= 7) {
        return V + kFixed[G2];
    } else if constexpr (G2 >= 9 && G2 <= 12) {
        return V > core->own_a ? V - kPull[G2 - 9] : V + kPull[G2 - 9];
    } else if constexpr (G2 == 13) {
        return mod_val_13(core, V, draw);
    } else if constexpr (G2 == 14) {
        return mod_val_14(core, V, draw);
    } else if constexpr (G2 == 15) {
        return mod_val_15(core, V, draw);
    } else {
        static_assert(kNever<G2>, "value modifier without a meaning");
    }
}

// Stage 5: the value writer set_val_N, N = gene 3.
template <int G3>
LUMIVOR_INLINE long ValueWriter(const Core_* core, long V, unsigned char* out, unsigned char ch) {
    if constexpr (G3 == 1)
        return set_val_1(core, V, out, ch);
    else if constexpr (G3 == 2)
        return set_val_2(core, V, out, ch);
    else if constexpr (G3 == 3)
        return set_val_3(core, V, out, ch);
    else if constexpr (G3 == 5)
        return set_val_5(core, V, out, ch);
    else if constexpr (G3 == 6)
        return set_val_6(core, V, out, ch);
    else if constexpr (G3 == 10)
        return set_val_10(core, V, out, ch);
    else if constexpr (G3 == 11)
        return set_val_11(core, V, out, ch);
    else if constexpr (G3 == 12)
        return set_val_12(core, V, out, ch);
    else if constexpr (G3 == 13)
        return set_val_13(core, V, out, ch);
    else
        static_assert(kNever<G3>, "value writer without a meaning");
}

// Stage 7: the direction source get_dir_N, N = gene 4; 0 keeps the heading.
template <int G4>
LUMIVOR_INLINE long DirectionSource(const Core_* core, long h) {
    if constexpr (G4 == 0)
        return h;
    else if constexpr (G4 == 1)
        return get_dir_1(core, h);
    else if constexpr (G4 == 2)
        return get_dir_2(core, h);
    else if constexpr (G4 == 3)
        return get_dir_3(core, h);
    else if constexpr (G4 == 4)
        return get_dir_4(core, h);
    else if constexpr (G4 == 5)
        return get_dir_5(core, h);
    else if constexpr (G4 == 6)
        return get_dir_6(core, h);
    else if constexpr (G4 == 7)
        return get_dir_7(core, h);
    else if constexpr (G4 == 11)
        return get_dir_11(core, h);
    else if constexpr (G4 == 12)
        return get_dir_12(core, h);
    else if constexpr (G4 == 13)
        return get_dir_13(core, h);
    else if constexpr (G4 == 14)
        return get_dir_14(core, h);
    else if constexpr (G4 == 15)
        return get_dir_15(core, h);
    else if constexpr (G4 == 17)
        return get_dir_17(core, h);
    else if constexpr (G4 == 19)
        return get_dir_19(core, h);
    else if constexpr (G4 == 20)
        return get_dir_20(core, h);
    else if constexpr (G4 == 21)
        return get_dir_21(core, h);
    else if constexpr (G4 == 22)
        return get_dir_22(core, h);
    else if constexpr (G4 == 23)
        return get_dir_23(core, h);
    else
        static_assert(kNever<G4>, "direction source without a meaning");
}

// Stage 8: the random turn rnd_dir_N, N = gene 5; 0 draws nothing.
template <int G5, class Draw>
LUMIVOR_INLINE long RandomTurn(const Core_* core, long D, Draw draw) {
    if constexpr (G5 == 0)
        return D;
    else if constexpr (G5 == 1)
        return rnd_dir_1(core, D, draw);
    else if constexpr (G5 == 2)
        return rnd_dir_2(core, D, draw);
    else if constexpr (G5 == 4)
        return rnd_dir_4(core, D, draw);
    else if constexpr (G5 == 5)
        return rnd_dir_5(core, D, draw);
    else if constexpr (G5 == 6)
        return rnd_dir_6(core, D, draw);
    else if constexpr (G5 == 7)
        return rnd_dir_7(core, D, draw);
    else if constexpr (G5 == 8)
        return rnd_dir_8(core, D, draw);
    else if constexpr (G5 == 9)
        return rnd_dir_9(core, D, draw);
    else if constexpr (G5 == 10)
        return rnd_dir_10(core, D, draw);
    else if constexpr (G5 == 11)
        return rnd_dir_11(core, D, draw);
    else if constexpr (G5 == 13)
        return rnd_dir_13(core, D, draw);
    else if constexpr (G5 == 14)
        return rnd_dir_14(core, D, draw);
    else if constexpr (G5 == 15)
        return rnd_dir_15(core, D, draw);
    else
        static_assert(kNever<G5>, "random turn without a meaning");
}

// Stage 9: a fixed turn offset.
template <int G6>
LUMIVOR_INLINE long TurnOffset(long D) {
    static_assert(G6 >= 0 && G6 <= 8, "turn offset without a meaning");
    constexpr long kOffset[9] = {0, 1, 2, 3, 4, -1, -2, -3, -4};
    return D + kOffset[G6];
}

// Stage 10: blend the proposed direction D with the old heading h.
template <int G7, class Draw>
LUMIVOR_INLINE long DirectionBlend(long D, long h, Draw draw) {
    if constexpr (G7 == 0) {
        return D;
    } else if constexpr (G7 == 1) {
        return (draw() & 3) == 3 ? h : D;
    } else if constexpr (G7 == 2) {
        return (draw() & 31) == 31 ? h : D;
    } else if constexpr (G7 == 3) {
        const long mid = (D + h) >> 1;
        return Abs(D - h) < 4 ? mid + 4 : mid;
    } else {
        static_assert(kNever<G7>, "direction blend without a meaning");
    }
}

// The whole pipeline for the bot whose genes 0-8 are given, drawing its
// random numbers from `draw`.
template <int G0, int G1, int G2, int G3, int G4, int G5, int G6, int G7, int G8, class Draw>
LUMIVOR_INLINE void StepPipelineDrawing(const Core_* core, long* value, long* dir, HSL_888* out,
                                        Draw draw) {
    long V = ValueSource<G0>(core, core->value);
    if (ValueGuard<G1>(core, V)) V = core->nbh_a[8];
    V = ValueModifier<G2>(core, V, draw);
    *value = ValueWriter<G3>(core, V, reinterpret_cast<unsigned char*>(out),
                             static_cast<unsigned char>(G8));

    const long h = core->dir;
    long D = DirectionSource<G4>(core, h);
    D = RandomTurn<G5>(core, D, draw);
    D = TurnOffset<G6>(D);
    *dir = DirectionBlend<G7>(D, h, draw);
}

// The pipeline as a step function, drawing from the global generator.
template <int G0, int G1, int G2, int G3, int G4, int G5, int G6, int G7, int G8>
LUMIVOR_INLINE void StepPipeline(const Core_* core, long* value, long* dir, HSL_888* out) {
    StepPipelineDrawing<G0, G1, G2, G3, G4, G5, G6, G7, G8>(core, value, dir, out, GlobalDraw{});
}

// The pipeline for a gene array known at compile time.
template <const uint8_t* G, class Draw = GlobalDraw>
LUMIVOR_INLINE void StepFromGenes(const Core_* core, long* value, long* dir, HSL_888* out,
                                  Draw draw = Draw{}) {
    StepPipelineDrawing<G[0], G[1], G[2], G[3], G[4], G[5], G[6], G[7], G[8]>(core, value, dir, out,
                                                                              draw);
}

}  // namespace behaviour
