// The step pipeline: worked examples, stage rules, and the random draws of
// every preset step function.
#include <gtest/gtest.h>

#include <initializer_list>

#include "tests/behaviour/draws.h"
#include "behaviour/pipeline.h"
#include "behaviour/presets.h"
#include "world/community.h"

using namespace behaviour;

namespace {

struct Step {
    long value = 0;
    long dir = 0;
    HSL_888 out{0, 0, 0};
};

// A bot view with channel A and B both on the hue neighbourhood.
struct View {
    Bot bot;
    HSL_888 cell{0, 0, 0};
    View(std::initializer_list<int> ring, int centre, HSL_888 own, long value, long dir) {
        int j = 0;
        for (int v : ring) bot.nbh_h[j++] = static_cast<uint8_t>(v);
        bot.nbh_h[8] = static_cast<uint8_t>(centre);
        bot.color = own;
        bot.nbh_a = bot.nbh_h;
        bot.nbh_b = bot.nbh_h;
        bot.own_a = own.h;
        bot.own_b = own.h;
        bot.value = value;
        bot.dir = dir;
        bot.cell_hsl = &cell;
    }
};

template <StepFunc F>
Step RunStep(View& v) {
    Step s;
    F(&v.bot, &s.value, &s.dir, &s.out);
    return s;
}


}  // namespace

TEST(Pipeline, WorkedExampleOfBotFourOfCommunityThree) {
    View v({40, 60, 90, 70, 50, 30, 20, 10}, 80, HSL_888{217, 85, 52}, 128, 2);
    v.cell = HSL_888{80, 100, 120};
    srandom_tovi(5);
    Step s = RunStep<step_4d>(v);
    EXPECT_EQ(s.value, 100);
    EXPECT_EQ(s.out.h, 100);
    EXPECT_EQ(s.out.s, 98);
    EXPECT_EQ(s.out.l, 112);
    EXPECT_EQ(s.dir, 6);
    EXPECT_EQ(DrawsSince(5), 0);

    View w({90, 85, 80, 95, 100, 110, 120, 130}, 80, HSL_888{217, 85, 52}, 128, 2);
    w.cell = HSL_888{80, 100, 120};
    s = RunStep<step_4d>(w);
    EXPECT_EQ(s.value, 68);
    EXPECT_EQ(s.out.h, 68);
    EXPECT_EQ(s.out.s, 98);
    EXPECT_EQ(s.out.l, 115);
    EXPECT_EQ(s.dir, 6);
}

TEST(Pipeline, ValueSourcesAndGuards) {
    // Sums divide as written: nine bytes by nine, five bytes by seven.
    View bright({255, 255, 255, 255, 255, 255, 255, 255}, 255, HSL_888{0, 0, 0}, 0, 0);
    Step s = RunStep<StepPipeline<13, 0, 0, 1, 0, 0, 0, 0, 1>>(bright);
    EXPECT_EQ(s.value, 255);
    s = RunStep<StepPipeline<10, 0, 0, 1, 0, 0, 0, 0, 1>>(bright);
    EXPECT_EQ(s.value, 182);

    // An increasing run: max-first range is 80 - 255 = -175.
    View rising({10, 20, 30, 40, 50, 60, 70, 80}, 77, HSL_888{0, 0, 0}, 5, 0);
    s = RunStep<StepPipeline<0, 5, 0, 1, 0, 0, 0, 0, 1>>(rising);  // range < 32 holds
    EXPECT_EQ(s.value, 77);
    s = RunStep<StepPipeline<0, 7, 0, 1, 0, 0, 0, 0, 1>>(rising);  // range > 32 fails
    EXPECT_EQ(s.value, 5);

    // Pull toward A moves up when V equals A.
    View level({0, 0, 0, 0, 0, 0, 0, 0}, 0, HSL_888{40, 0, 0}, 40, 0);
    s = RunStep<StepPipeline<0, 0, 9, 1, 0, 0, 0, 0, 0>>(level);
    EXPECT_EQ(s.value, 42);

    // The new value is what the writer returns: -2 wraps on the hue, clamps elsewhere.
    View low({0, 0, 0, 0, 0, 0, 0, 0}, 0, HSL_888{0, 0, 0}, 0, 0);
    s = RunStep<StepPipeline<0, 0, 6, 1, 0, 0, 0, 0, 0>>(low);
    EXPECT_EQ(s.value, 254);
    s = RunStep<StepPipeline<0, 0, 6, 1, 0, 0, 0, 0, 2>>(low);
    EXPECT_EQ(s.value, 0);
}

TEST(Pipeline, DirectionBlendThreeSendsAnUnturnedBotBack) {
    View v({0, 0, 0, 0, 0, 0, 0, 0}, 0, HSL_888{0, 0, 0}, 0, 3);
    Step s = RunStep<StepPipeline<0, 0, 0, 1, 0, 0, 0, 3, 0>>(v);
    EXPECT_EQ(s.dir, 7);
    s = RunStep<StepPipeline<0, 0, 0, 1, 0, 0, 2, 3, 0>>(v);  // D = h + 2
    EXPECT_EQ(s.dir, 8);
    s = RunStep<StepPipeline<0, 0, 0, 1, 0, 0, 4, 3, 0>>(v);  // D = h + 4
    EXPECT_EQ(s.dir, 5);
}

// Value offset, random turn and blend draw in that order.
TEST(Pipeline, DrawsComeInValueTurnBlendOrder) {
    const long r15[8] = {-2, 0, 0, 0, 0, 0, 0, 2};
    const long v8[8] = {-1, -1, 0, 0, 0, 0, 0, 1};
    for (uint32_t seed = 1; seed < 500; ++seed) {
        srandom_tovi(seed);
        const long x0 = random_tovi(), x1 = random_tovi(), x2 = random_tovi();
        View v({0, 0, 0, 0, 0, 0, 0, 0}, 0, HSL_888{0, 0, 0}, 100, 4);
        srandom_tovi(seed);
        Step s = RunStep<StepPipeline<0, 0, 15, 1, 0, 8, 0, 1, 2>>(v);
        ASSERT_EQ(s.value, 100 + r15[x0 & 7]);
        ASSERT_EQ(s.dir, (x2 & 3) == 3 ? 4 : 4 + v8[x1 & 7]);
        ASSERT_EQ(DrawsSince(seed), 3);
    }
}

// Every preset step function draws once for a random value offset, once for a
// random turn and once for a one-in-n blend, and never otherwise.
TEST(Presets, EachDrawsWhatItsGenesAsk) {
    int none = 0, three = 0;
    for (int n = 0; n < kCommunityCount; ++n) {
        for (int b = 0; b < kCommunityBots; ++b) {
            const uint8_t* g = bot_genes[n][b];
            const int want = (g[2] >= 13 && g[2] <= 15) + (g[5] != 0) + (g[7] == 1 || g[7] == 2);
            for (uint32_t seed : {11u, 12u, 13u}) {
                View v({3, 200, 17, 90, 45, 250, 128, 64}, 99, HSL_888{g[10], g[11], g[12]}, 77,
                       5);
                v.cell = HSL_888{12, 34, 56};
                srandom_tovi(seed);
                Step s;
                step_funcs[n][b](&v.bot, &s.value, &s.dir, &s.out);
                ASSERT_EQ(DrawsSince(seed), want) << "community " << n << " bot " << b;
            }
            none += want == 0;
            three += want == 3;
        }
    }
    EXPECT_GT(none, 0);
    EXPECT_GT(three, 0);
}

TEST(Presets, NamedDrawCounts) {
    View v({3, 200, 17, 90, 45, 250, 128, 64}, 99, HSL_888{1, 2, 3}, 77, 5);
    for (StepFunc f : {step_4d, step_2c, step_3i}) {
        srandom_tovi(3);
        Step s;
        f(&v.bot, &s.value, &s.dir, &s.out);
        EXPECT_EQ(DrawsSince(3), 0);
    }
    for (StepFunc f : {step_0c, step_1d, step_7d, step_6h}) {
        srandom_tovi(3);
        Step s;
        f(&v.bot, &s.value, &s.dir, &s.out);
        EXPECT_EQ(DrawsSince(3), 3);
    }
}

TEST(Presets, PairedFunctionsAgreeOnTheSameView) {
    const StepFunc pairs[][2] = {{step_0b, step_1b}, {step_3b, step_4c}, {step_0f, step_6f},
                                 {step_1f, step_7f}, {step_2f, step_4f}, {step_3f, step_5f},
                                 {step_0i, step_1i}, {step_2h, step_3h}};
    for (const auto& p : pairs) {
        for (uint32_t seed = 1; seed < 50; ++seed) {
            View v({static_cast<int>(seed * 37 % 256), 20, 240, 90, 45, 250, 128, 64},
                   static_cast<int>(seed * 11 % 256), HSL_888{30, 60, 90}, 77, seed % 8);
            v.cell = HSL_888{12, 34, 56};
            Step a, b;
            srandom_tovi(seed);
            p[0](&v.bot, &a.value, &a.dir, &a.out);
            srandom_tovi(seed);
            p[1](&v.bot, &b.value, &b.dir, &b.out);
            EXPECT_EQ(a.value, b.value);
            EXPECT_EQ(a.dir, b.dir);
            EXPECT_EQ(a.out.h, b.out.h);
            EXPECT_EQ(a.out.s, b.out.s);
            EXPECT_EQ(a.out.l, b.out.l);
        }
    }
}
