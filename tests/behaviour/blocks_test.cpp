// The building blocks, family by family, with the values that pin their rules.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "tests/behaviour/draws.h"
#include "behaviour/blocks.h"

using namespace behaviour;

namespace {

// A view with both channels on the given neighbourhood bytes.
struct View {
    Bot bot;
    HSL_888 cell{0, 0, 0};
    View(std::initializer_list<int> ring, int centre, long own = 0) {
        int j = 0;
        for (int v : ring) bot.nbh_h[j++] = static_cast<uint8_t>(v);
        bot.nbh_h[8] = static_cast<uint8_t>(centre);
        bot.nbh_a = bot.nbh_h;
        bot.nbh_b = bot.nbh_h;
        bot.own_a = own;
        bot.own_b = own;
        bot.cell_hsl = &cell;
    }
    const Core_* core() const { return &bot; }
};

struct WriterCase {
    long (*fn)(const Core_*, long, unsigned char*, unsigned char);
    HSL_888 cell, own;
    long value;
    unsigned char ch;
    long result;
    unsigned char out[3];
};

}  // namespace

TEST(SetVal, WritersByTable) {
    const WriterCase cases[] = {
        // Level written as is; hue wraps, the others clamp.
        {set_val_1, {10, 20, 30}, {0, 0, 0}, -1, 0, 255, {255, 20, 30}},
        {set_val_1, {10, 20, 30}, {0, 0, 0}, -1, 1, 0, {10, 0, 30}},
        {set_val_1, {10, 20, 30}, {0, 0, 0}, 300, 0, 44, {44, 20, 30}},
        {set_val_1, {10, 20, 30}, {0, 0, 0}, 300, 2, 255, {10, 20, 255}},
        // Mean: the hue follows the short way round.
        {set_val_2, {250, 20, 30}, {0, 0, 0}, 10, 0, 10, {2, 20, 30}},
        {set_val_2, {10, 20, 30}, {0, 0, 0}, 250, 0, 250, {2, 20, 30}},
        {set_val_2, {0, 20, 30}, {0, 0, 0}, 200, 0, 200, {228, 20, 30}},
        {set_val_2, {0, 20, 31}, {0, 0, 0}, 200, 2, 200, {0, 20, 115}},
        // Quarter: the hue form and the plain form differ by one here.
        {set_val_3, {1, 1, 1}, {0, 0, 0}, 0, 0, 0, {1, 1, 1}},
        {set_val_3, {1, 1, 1}, {0, 0, 0}, 0, 1, 0, {1, 0, 1}},
        // Drift toward the own colour: 1/16 everywhere, or 1/32 for s and l.
        {set_val_5, {0, 100, 100}, {160, 200, 0}, 50, 1, 50, {250, 75, 93}},
        {set_val_6, {0, 100, 100}, {160, 200, 0}, 50, 1, 50, {250, 75, 96}},
        // Blends never reach 255.
        {set_val_10, {255, 255, 255}, {255, 255, 255}, 255, 0, 255, {255, 254, 254}},
        {set_val_11, {255, 255, 255}, {255, 255, 255}, 255, 0, 255, {255, 254, 254}},
        {set_val_12, {100, 100, 120}, {217, 85, 52}, 100, 0, 100, {100, 98, 112}},
        {set_val_13, {100, 40, 60}, {0, 200, 250}, 255, 1, 255, {99, 147, 59}},
    };
    for (const WriterCase& c : cases) {
        View v({0, 0, 0, 0, 0, 0, 0, 0}, 0);
        v.cell = c.cell;
        v.bot.color = c.own;
        unsigned char out[3] = {7, 7, 7};
        EXPECT_EQ(c.fn(v.core(), c.value, out, c.ch), c.result);
        EXPECT_EQ(out[0], c.out[0]);
        EXPECT_EQ(out[1], c.out[1]);
        EXPECT_EQ(out[2], c.out[2]);
    }
}

TEST(SetVal, ChannelThreeWritesNothing) {
    for (auto fn : {set_val_1, set_val_2, set_val_3, set_val_5, set_val_6, set_val_10, set_val_11,
                    set_val_12, set_val_13}) {
        View v({0, 0, 0, 0, 0, 0, 0, 0}, 0);
        unsigned char out[3] = {7, 8, 9};
        EXPECT_EQ(fn(v.core(), 1234, out, 3), 1234);
        EXPECT_EQ(out[0], 7);
        EXPECT_EQ(out[1], 8);
        EXPECT_EQ(out[2], 9);
    }
}

struct DirCase {
    long (*fn)(const Core_*, long);
    std::initializer_list<int> ring;
    int centre;
    long own;
    long h;
    long result;
};

TEST(GetDir, SourcesByTable) {
    const DirCase cases[] = {
        {get_dir_1, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 3},
        {get_dir_2, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 5},
        {get_dir_3, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 2},
        {get_dir_4, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 5},
        {get_dir_5, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 2},
        // Smallest / largest, ties to the earlier index of the scan order.
        {get_dir_6, {255, 255, 255, 255, 255, 255, 255, 255}, 0, 0, 5, 5},
        {get_dir_6, {90, 10, 50, 50, 50, 50, 50, 10}, 0, 0, 5, 6},
        {get_dir_6, {90, 50, 50, 50, 10, 50, 50, 50}, 0, 0, 5, 9},
        {get_dir_7, {0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, 2, 2},
        {get_dir_7, {0, 0, 0, 9, 0, 9, 0, 0}, 0, 0, 2, 5},
        // First neighbour near the centre, else straight back.
        {get_dir_11, {100, 100, 100, 100, 100, 100, 100, 100}, 50, 0, 6, 2},
        {get_dir_11, {50, 50, 50, 50, 50, 50, 50, 50}, 50, 0, 6, 6},
        {get_dir_11, {100, 100, 100, 100, 60, 100, 100, 100}, 50, 0, 6, 2},
        {get_dir_11, {100, 100, 100, 100, 100, 100, 100, 100}, 100, 0, 0, 0},
        {get_dir_11, {0, 0, 0, 0, 45, 0, 0, 0}, 50, 0, 0, -4},  // index 4 is never tried
        {get_dir_12, {0, 0, 0, 0, 0, 0, 0, 70}, 50, 0, 1, 8},
        // Distance from the own colour of channel B.
        {get_dir_13, {10, 10, 10, 10, 10, 10, 10, 10}, 0, 10, 3, 3},
        {get_dir_13, {10, 10, 200, 10, 10, 10, 10, 10}, 0, 10, 3, 5},
        {get_dir_14, {10, 10, 200, 10, 10, 10, 10, 10}, 0, 11, 3, 3},
        {get_dir_14, {10, 10, 200, 10, 10, 10, 11, 10}, 0, 11, 3, 9},
        {get_dir_14, {200, 200, 200, 200, 200, 200, 12, 200}, 0, 11, 3, 9},
        // Nearest the mean of the ring.
        {get_dir_15, {0, 0, 0, 0, 80, 0, 0, 0}, 0, 0, 1, 1},
        {get_dir_15, {80, 80, 80, 10, 80, 80, 80, 80}, 0, 0, 1, 1},
        {get_dir_15, {0, 100, 100, 100, 100, 100, 100, 100}, 0, 0, 1, 2},
        // Min-first extremes against the centre.
        {get_dir_17, {200, 190, 180, 170, 160, 150, 140, 130}, 100, 0, 2, 2},
        {get_dir_17, {100, 100, 100, 100, 100, 100, 100, 100}, 100, 0, 2, 2},
        {get_dir_17, {40, 60, 90, 70, 50, 30, 20, 10}, 80, 0, 2, 6},
        {get_dir_19, {10, 20, 30, 40, 50, 60, 70, 80}, 0, 0, 2, ((80 - 10) >> 1) & 7},
        {get_dir_19, {80, 70, 60, 50, 40, 30, 20, 10}, 0, 0, 2, ((0 - 10) >> 1) & 7},
        // Side sums and side ranges.
        {get_dir_20, {0, 1, 1, 1, 0, 2, 2, 2}, 0, 0, 4, 5},
        {get_dir_20, {0, 2, 2, 2, 0, 2, 2, 2}, 0, 0, 4, 3},
        {get_dir_21, {0, 3, 3, 3, 0, 2, 2, 2}, 0, 0, 4, 5},
        {get_dir_21, {0, 2, 2, 2, 0, 2, 2, 2}, 0, 0, 4, 3},
        {get_dir_22, {0, 10, 20, 30, 0, 10, 20, 30}, 0, 0, 4, 3},
        {get_dir_22, {0, 30, 5, 80, 0, 10, 20, 30}, 0, 0, 4, 5},
        {get_dir_23, {0, 10, 20, 30, 0, 10, 20, 90}, 0, 0, 4, 5},
        {get_dir_23, {0, 10, 20, 30, 0, 10, 20, 30}, 0, 0, 4, 3},
    };
    int i = 0;
    for (const DirCase& c : cases) {
        View v(c.ring, c.centre, c.own);
        EXPECT_EQ(c.fn(v.core(), c.h), c.result) << "case " << i;
        ++i;
    }
}


TEST(RndDir, OneDrawAndTheTurnItsTableGives) {
    struct Case {
        long (*fn)(const Core_*, long);
        int mask;
        std::initializer_list<int> turns;  // by masked draw; empty: the 63-in-64 rule
        int rare;                          // turn when the draw's low bits are all ones
    };
    const Case cases[] = {
        {rnd_dir_1, 63, {}, 7},
        {rnd_dir_2, 63, {}, 1},
        {rnd_dir_4, 63, {}, 1},
        {rnd_dir_5, 3, {-1, 0, 0, 1}, 0},
        {rnd_dir_6, 7, {-1, 0, 0, 0, 0, 0, 0, 1}, 0},
        {rnd_dir_7, 15, {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0},
        {rnd_dir_8, 7, {-1, -1, 0, 0, 0, 0, 0, 1}, 0},
        {rnd_dir_9, 7, {-1, 0, 0, 0, 0, 0, 1, 1}, 0},
        {rnd_dir_10, 15, {-1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0},
        {rnd_dir_11, 15, {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}, 0},
        {rnd_dir_13, 7, {0, 0, 0, 0, 0, 0, 0, 1}, 0},
        {rnd_dir_14, 15, {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {rnd_dir_15, 15, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0},
    };
    View v({0, 0, 0, 0, 0, 0, 0, 0}, 0);
    for (const Case& c : cases) {
        for (uint32_t seed = 1; seed < 400; ++seed) {
            srandom_tovi(seed);
            const long x = random_tovi() & c.mask;
            srandom_tovi(seed);
            const long got = c.fn(v.core(), 100);
            long want;
            if (c.turns.size() == 0) {
                want = x == 63 ? 100 + c.rare : 100;
            } else {
                want = 100 + c.turns.begin()[x];
            }
            ASSERT_EQ(got, want) << "seed " << seed;
            ASSERT_EQ(DrawsSince(seed), 1);
        }
    }
}

TEST(ModVal, OneDrawAndItsOffset) {
    View v({0, 0, 0, 0, 0, 0, 0, 0}, 0);
    bool unchanged13 = false;
    for (uint32_t seed = 1; seed < 300; ++seed) {
        srandom_tovi(seed);
        const long x = random_tovi();
        srandom_tovi(seed);
        const long a = mod_val_13(v.core(), 50);
        EXPECT_EQ(a, (x & 1) ? 52 : 48);
        unchanged13 |= a == 50;
        EXPECT_EQ(DrawsSince(seed), 1);
        srandom_tovi(seed);
        const long b = mod_val_14(v.core(), 50);
        const long r14[4] = {-2, 0, 0, 2};
        EXPECT_EQ(b, 50 + r14[x & 3]);
        srandom_tovi(seed);
        const long c = mod_val_15(v.core(), 50);
        EXPECT_EQ(c, 50 + ((x & 7) == 0 ? -2 : (x & 7) == 7 ? 2 : 0));
    }
    EXPECT_FALSE(unchanged13);
}
