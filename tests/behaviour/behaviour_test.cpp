// The building blocks and the step pipeline: the values that pin each rule. Every preset step
// function, its values, headings, colours and random draws, is held by the reference runs (the
// two-update runs trace every step of every bot).
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "behaviour/pipeline.h"

using namespace behaviour;

namespace {

// A bot view with channels A and B both on the given hue neighbourhood.
struct View {
    Bot bot;
    HSL_888 cell{0, 0, 0};
    View(std::initializer_list<int> ring, int centre, HSL_888 own = {0, 0, 0}, long value = 0,
         long dir = 0) {
        int j = 0;
        for (int v : ring) bot.nbh_h[j++] = static_cast<uint8_t>(v);
        bot.nbh_h[8] = static_cast<uint8_t>(centre);
        bot.color = own;
        bot.nbh_a = bot.nbh_b = bot.nbh_h;
        bot.own_a = bot.own_b = own.h;
        bot.value = value;
        bot.dir = dir;
        bot.cell_hsl = &cell;
    }
};

struct Out {
    long value = 0, dir = 0;
    HSL_888 hsl{0, 0, 0};
};

template <StepFunc F>
Out Step(View& v) {
    Out o;
    F(&v.bot, &o.value, &o.dir, &o.hsl);
    return o;
}

}  // namespace

// Every block runs in the reference runs; these rows pin the wraps, clamps, ties and skipped
// neighbours that a run may reach seldom. A value writer on channel 3 writes nothing.
TEST(Blocks, ValueWriters) {
    const struct {
        long (*fn)(const Core_*, long, unsigned char*, unsigned char);
        HSL_888 cell, own;
        long value;
        unsigned char ch;
        long result;
        std::string out;
    } cases[] = {
        {set_val_1, {10, 20, 30}, {0, 0, 0}, -1, 0, 255, {'\xff', 20, 30}},
        {set_val_1, {10, 20, 30}, {0, 0, 0}, -1, 1, 0, {10, 0, 30}},
        {set_val_1, {10, 20, 30}, {0, 0, 0}, 300, 0, 44, {44, 20, 30}},
        {set_val_1, {10, 20, 30}, {0, 0, 0}, 300, 2, 255, {10, 20, '\xff'}},
        {set_val_2, {250, 20, 30}, {0, 0, 0}, 10, 0, 10, {2, 20, 30}},
        {set_val_2, {0, 20, 31}, {0, 0, 0}, 200, 2, 200, {0, 20, 115}},
        {set_val_3, {1, 1, 1}, {0, 0, 0}, 0, 1, 0, {1, 0, 1}},
        {set_val_5, {0, 100, 100}, {160, 200, 0}, 50, 1, 50, {'\xfa', 75, 93}},
        {set_val_6, {0, 100, 100}, {160, 200, 0}, 50, 1, 50, {'\xfa', 75, 96}},
        {set_val_10, {255, 255, 255}, {255, 255, 255}, 255, 0, 255, {'\xff', '\xfe', '\xfe'}},
        {set_val_11, {255, 255, 255}, {255, 255, 255}, 255, 0, 255, {'\xff', '\xfe', '\xfe'}},
        {set_val_12, {100, 100, 120}, {217, 85, 52}, 100, 0, 100, {100, 98, 112}},
        {set_val_13, {100, 40, 60}, {0, 200, 250}, 255, 1, 255, {99, '\x93', 59}},
    };
    for (const auto& c : cases) {
        View v({0, 0, 0, 0, 0, 0, 0, 0}, 0, c.own);
        v.cell = c.cell;
        unsigned char out[3] = {7, 7, 7}, untouched[3] = {7, 8, 9};
        EXPECT_EQ(c.fn(&v.bot, c.value, out, c.ch), c.result) << "case " << &c - cases;
        EXPECT_EQ(std::string(out, out + 3), c.out) << "case " << &c - cases;
        EXPECT_TRUE(c.fn(&v.bot, 1234, untouched, 3) == 1234 && untouched[1] == 8);
    }
}

TEST(Blocks, DirectionSources) {
    const struct {
        long (*fn)(const Core_*, long);
        std::initializer_list<int> ring;
        int centre;
        uint8_t own;
        long h, result;
    } cases[] = {
        {get_dir_1, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 3},
        {get_dir_3, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 2},
        {get_dir_5, {0, 0, 0, 0, 0, 0, 0, 0}, 0xAB, 0, 3, 2},
        {get_dir_6, {255, 255, 255, 255, 255, 255, 255, 255}, 0, 0, 5, 5},
        {get_dir_6, {90, 50, 50, 50, 10, 50, 50, 50}, 0, 0, 5, 9},
        {get_dir_7, {0, 0, 0, 9, 0, 9, 0, 0}, 0, 0, 2, 5},
        {get_dir_11, {100, 100, 100, 100, 100, 100, 100, 100}, 100, 0, 0, 0},
        {get_dir_11, {0, 0, 0, 0, 45, 0, 0, 0}, 50, 0, 0, -4},  // index 4 is never tried
        {get_dir_12, {0, 0, 0, 0, 0, 0, 0, 70}, 50, 0, 1, 8},
        {get_dir_13, {10, 10, 200, 10, 10, 10, 10, 10}, 0, 10, 3, 5},
        {get_dir_14, {10, 10, 200, 10, 10, 10, 11, 10}, 0, 11, 3, 9},
        {get_dir_14, {200, 200, 200, 200, 200, 200, 12, 200}, 0, 11, 3, 9},
        {get_dir_15, {0, 100, 100, 100, 100, 100, 100, 100}, 0, 0, 1, 2},
        {get_dir_17, {100, 100, 100, 100, 100, 100, 100, 100}, 100, 0, 2, 2},
        {get_dir_19, {80, 70, 60, 50, 40, 30, 20, 10}, 0, 0, 2, ((0 - 10) >> 1) & 7},
        {get_dir_20, {0, 1, 1, 1, 0, 2, 2, 2}, 0, 0, 4, 5},
        {get_dir_21, {0, 3, 3, 3, 0, 2, 2, 2}, 0, 0, 4, 5},
        {get_dir_22, {0, 30, 5, 80, 0, 10, 20, 30}, 0, 0, 4, 5},
        {get_dir_23, {0, 10, 20, 30, 0, 10, 20, 90}, 0, 0, 4, 5},
    };
    for (const auto& c : cases) {
        View v(c.ring, c.centre, HSL_888{c.own, 0, 0});
        EXPECT_EQ(c.fn(&v.bot, c.h), c.result) << "case " << &c - cases;
    }
}

TEST(Pipeline, StageRules) {
    // Nine bytes divide by nine, five by seven.
    View bright({255, 255, 255, 255, 255, 255, 255, 255}, 255);
    EXPECT_EQ((Step<StepPipeline<13, 0, 0, 1, 0, 0, 0, 0, 1>>(bright).value), 255);
    EXPECT_EQ((Step<StepPipeline<10, 0, 0, 1, 0, 0, 0, 0, 1>>(bright).value), 182);
    // An increasing run has a negative max-first range: range < 32 holds, > 32 fails.
    View rising({10, 20, 30, 40, 50, 60, 70, 80}, 77, {0, 0, 0}, 5);
    EXPECT_EQ((Step<StepPipeline<0, 5, 0, 1, 0, 0, 0, 0, 1>>(rising).value), 77);
    EXPECT_EQ((Step<StepPipeline<0, 7, 0, 1, 0, 0, 0, 0, 1>>(rising).value), 5);
    // The pull toward A moves up at V = A; the writer wraps the hue and clamps the rest.
    View level({0, 0, 0, 0, 0, 0, 0, 0}, 0, {40, 0, 0}, 40);
    EXPECT_EQ((Step<StepPipeline<0, 0, 9, 1, 0, 0, 0, 0, 0>>(level).value), 42);
    View low({0, 0, 0, 0, 0, 0, 0, 0}, 0, {0, 0, 0}, 0, 3);
    EXPECT_EQ((Step<StepPipeline<0, 0, 6, 1, 0, 0, 0, 0, 0>>(low).value), 254);
    EXPECT_EQ((Step<StepPipeline<0, 0, 6, 1, 0, 0, 0, 0, 2>>(low).value), 0);
    // Blend 3: no turn goes straight back, h + 2 gives h + 5, h + 4 gives h + 2.
    EXPECT_EQ((Step<StepPipeline<0, 0, 0, 1, 0, 0, 0, 3, 0>>(low).dir), 7);
    EXPECT_EQ((Step<StepPipeline<0, 0, 0, 1, 0, 0, 2, 3, 0>>(low).dir), 8);
    EXPECT_EQ((Step<StepPipeline<0, 0, 0, 1, 0, 0, 4, 3, 0>>(low).dir), 5);
}
