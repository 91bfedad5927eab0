// Bot record, stepping on the torus (HSL and RGB) and the gene printout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bots/bot.h"
#include "colour/random_tovi.h"
#include "image/image.h"

namespace {

// A habitat/display pair whose cells hold distinct, position-derived colours.
struct Pair {
    Image hsl, rgb;
    Pair(uint32_t w, uint32_t h) {
        EXPECT_TRUE(hsl.Create(w, h, 24));
        EXPECT_TRUE(rgb.Create(w, h, 24));
        for (uint32_t i = 0; i < w * h; ++i) {
            hsl.data[i * 3 + 0] = static_cast<uint8_t>(i * 7 + 1);
            hsl.data[i * 3 + 1] = static_cast<uint8_t>(i * 13 + 2);
            hsl.data[i * 3 + 2] = static_cast<uint8_t>(i * 29 + 3);
            rgb.data[i * 3 + 0] = rgb.data[i * 3 + 1] = rgb.data[i * 3 + 2] = 0;
        }
    }
    const uint8_t* Cell(int x, int y) const {
        return hsl.data + (static_cast<size_t>(y) * hsl.width + x) * 3;
    }
};

// Step function that records what it saw and returns fixed outputs.
struct Seen {
    uint8_t h[9], s[9], l[9];
    HSL_888 cell;
    long value, dir;
};
Seen seen;
long next_dir = 0;
HSL_888 next_out = {0, 0, 0};
long next_value = 0;

void RecordingStep(const Core_* core, long* value, long* dir, HSL_888* out) {
    const Bot* bot = static_cast<const Bot*>(core);
    std::memcpy(seen.h, bot->nbh_h, 9);
    std::memcpy(seen.s, bot->nbh_s, 9);
    std::memcpy(seen.l, bot->nbh_l, 9);
    seen.cell = *core->cell_hsl;
    seen.value = core->value;
    seen.dir = core->dir;
    *value = next_value;
    *dir = next_dir;
    *out = next_out;
}

int Wrap(int v, int n) { return ((v % n) + n) % n; }

}  // namespace

TEST(Bot, NewBotHasTheDefaults) {
    Bot bot;
    EXPECT_EQ(bot.value, 128);
    EXPECT_EQ(bot.dir, 0);
    EXPECT_EQ(bot.color.h, 0);
    EXPECT_EQ(bot.color.s, 0);
    EXPECT_EQ(bot.color.l, 0);
    for (uint8_t g : bot.genes) EXPECT_EQ(g, 0);
    EXPECT_EQ(bot.path_steps, 1024u);
    EXPECT_EQ(bot.step_func, &def_step_func);
    EXPECT_EQ(bot.own_hsl, &bot.color);
    EXPECT_NE(bot.path_xy, nullptr);
    EXPECT_NE(bot.path_rgb, nullptr);
}

TEST(Bot, SetPathStepsKeepsOrReplacesTheTrail) {
    Bot bot;
    bot.path_xy[5] = Point2i{11, 12};
    Point2i* before = bot.path_xy;
    EXPECT_TRUE(bot.SetPathSteps(1024));
    EXPECT_EQ(bot.path_xy, before);
    EXPECT_EQ(bot.path_xy[5].x, 11);

    EXPECT_TRUE(bot.SetPathSteps(3));
    EXPECT_EQ(bot.path_steps, 3u);
    EXPECT_NE(bot.path_xy, nullptr);
    EXPECT_TRUE(bot.SetPathSteps(0));
    EXPECT_EQ(bot.path_steps, 0u);
}

TEST(Bot, SetPathStepsThatCannotAllocateLeavesNoSteps) {
    Bot bot;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(bot.SetPathSteps(~0ul / 4));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Bot::SetPathSteps() failure"), std::string::npos);
    EXPECT_EQ(bot.path_steps, 0u);
    EXPECT_EQ(bot.path_xy, nullptr);
    EXPECT_EQ(bot.path_rgb, nullptr);
    Pair p(4, 4);
    bot.StepPathHSL(&p.hsl, &p.rgb);  // takes no steps, touches nothing
    EXPECT_EQ(bot.path_index, 0u);
}

TEST(Bot, OppositeDirectionsCancel) {
    for (int d = 0; d < 8; ++d) {
        EXPECT_EQ(Bot::dir_d[d].x + Bot::dir_d[(d + 4) & 7].x, 0);
        EXPECT_EQ(Bot::dir_d[d].y + Bot::dir_d[(d + 4) & 7].y, 0);
    }
}

// At every cell of a small habitat, with every heading, the turned arrays
// hold exactly the wrapped neighbours: the direct read away from the border
// and the wrapping read on it agree with plain modular arithmetic.
TEST(BotStepHSL, NeighbourhoodIsTheWrappedRingTurnedToTheHeading) {
    const int W = 5, H = 4;
    Pair p(W, H);
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(1);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            for (int d = 0; d < 8; ++d) {
                Pair fresh(W, H);
                bot.x = x;
                bot.y = y;
                bot.dir = d;
                next_dir = d;
                next_out = HSL_888{1, 2, 3};
                bot.StepPathHSL(&fresh.hsl, &fresh.rgb);
                for (int j = 0; j < 8; ++j) {
                    const Point2i o = Bot::dir_d[(d + j) & 7];
                    const uint8_t* c = p.Cell(Wrap(x + o.x, W), Wrap(y + o.y, H));
                    ASSERT_EQ(seen.h[j], c[0]) << x << "," << y << " dir " << d << " j " << j;
                    ASSERT_EQ(seen.s[j], c[1]);
                    ASSERT_EQ(seen.l[j], c[2]);
                }
                const uint8_t* under = p.Cell(x, y);
                EXPECT_EQ(seen.h[8], under[0]);
                EXPECT_EQ(seen.cell.h, under[0]);
                EXPECT_EQ(seen.cell.s, under[1]);
                EXPECT_EQ(seen.cell.l, under[2]);
            }
        }
    }
}

TEST(BotStepHSL, LeftColumnReadsFromTheRightColumn) {
    const int W = 6, H = 5;
    Pair p(W, H);
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(1);
    bot.x = 0;
    bot.y = 2;
    bot.dir = 0;
    bot.StepPathHSL(&p.hsl, &p.rgb);
    // Slots 0, 6 and 7 are the left-hand neighbours (rows y-1, y+1, y).
    EXPECT_EQ(seen.h[0], p.Cell(W - 1, 1)[0]);
    EXPECT_EQ(seen.h[6], p.Cell(W - 1, 3)[0]);
    EXPECT_EQ(seen.h[7], p.Cell(W - 1, 2)[0]);
}

TEST(BotStepHSL, CornerMoveWrapsOnTheNextStep) {
    const int W = 6, H = 5;
    Pair p(W, H);
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(2);
    bot.x = W - 1;
    bot.y = H - 1;
    next_dir = 4;
    const uint8_t origin = p.Cell(0, 0)[0];
    bot.path_index = 0;
    bot.StepHSL(&p.hsl, &p.rgb);
    EXPECT_EQ(bot.x, W);
    EXPECT_EQ(bot.y, H);
    bot.path_index = 1;
    bot.StepHSL(&p.hsl, &p.rgb);
    EXPECT_EQ(bot.path_xy[1].x, 0);
    EXPECT_EQ(bot.path_xy[1].y, 0);
    EXPECT_EQ(seen.cell.h, origin);
}

TEST(BotStepHSL, HeadingTwoPutsItsNeighbourFirst) {
    Pair p(5, 5);
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(1);
    bot.x = 2;
    bot.y = 2;
    bot.dir = 2;
    const uint8_t under = p.Cell(2, 2)[0];
    bot.StepPathHSL(&p.hsl, &p.rgb);
    EXPECT_EQ(seen.h[0], p.Cell(3, 1)[0]);  // offset (1, -1)
    EXPECT_EQ(seen.h[6], p.Cell(1, 1)[0]);  // offset (-1, -1)
    EXPECT_EQ(seen.h[8], under);
}

TEST(BotStepHSL, OutputsReachHabitatDisplayAndTrail) {
    Pair p(5, 5);
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(1);
    bot.x = 2;
    bot.y = 2;
    bot.hue_shift = 200;
    next_dir = -1;
    next_value = 1000;
    next_out = HSL_888{100, 150, 90};
    bot.StepPathHSL(&p.hsl, &p.rgb);
    // Habitat keeps the colour as chosen; the display shows hue 100 + 200 = 44.
    EXPECT_EQ(p.Cell(2, 2)[0], 100);
    EXPECT_EQ(p.Cell(2, 2)[1], 150);
    EXPECT_EQ(p.Cell(2, 2)[2], 90);
    RGB_888 expected;
    const HSL_888 shifted = {44, 150, 90};
    HSLtoRGB(&shifted, &expected);
    const uint8_t* shown = p.rgb.data + (2 * 5 + 2) * 3;
    EXPECT_EQ(shown[0], expected.r);
    EXPECT_EQ(shown[1], expected.g);
    EXPECT_EQ(shown[2], expected.b);
    EXPECT_EQ(bot.path_rgb[0].r, expected.r);
    EXPECT_EQ(bot.path_xy[0].x, 2);
    // Direction -1 is heading 7: one cell left. The value is stored unchanged.
    EXPECT_EQ(bot.dir, 7);
    EXPECT_EQ(bot.x, 1);
    EXPECT_EQ(bot.y, 2);
    EXPECT_EQ(bot.value, 1000);
    EXPECT_EQ(bot.path_index, 1u);
}

TEST(BotStepHSL, WalkRecordsEveryWrappedPosition) {
    Pair p(3, 3);
    Bot bot;
    bot.SetPathSteps(50);
    bot.x = 1;
    bot.y = 1;
    srandom_tovi(7);
    bot.StepPathHSL(&p.hsl, &p.rgb);
    EXPECT_EQ(bot.path_index, 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_GE(bot.path_xy[i].x, 0);
        EXPECT_LT(bot.path_xy[i].x, 3);
        EXPECT_GE(bot.path_xy[i].y, 0);
        EXPECT_LT(bot.path_xy[i].y, 3);
    }
    // Each recorded position is one move from the previous one, modulo the torus.
    for (int i = 1; i < 50; ++i) {
        const int dx = Wrap(bot.path_xy[i].x - bot.path_xy[i - 1].x + 1, 3) - 1;
        const int dy = Wrap(bot.path_xy[i].y - bot.path_xy[i - 1].y + 1, 3) - 1;
        EXPECT_FALSE(dx == 0 && dy == 0);
    }
}

TEST(BotStepHSL, DefaultStepPaintsOwnHueAndSaturation) {
    Pair p(4, 4);
    Bot bot;
    bot.color = HSL_888{33, 44, 0};
    bot.SetPathSteps(1);
    bot.x = 1;
    bot.y = 1;
    srandom_tovi(99);
    const long v = random_tovi() & 255;
    const long d = random_tovi() & 7;
    srandom_tovi(99);
    bot.StepPathHSL(&p.hsl, &p.rgb);
    EXPECT_EQ(p.Cell(1, 1)[0], 33);
    EXPECT_EQ(p.Cell(1, 1)[1], 44);
    EXPECT_EQ(p.Cell(1, 1)[2], v);
    EXPECT_EQ(bot.value, v);
    EXPECT_EQ(bot.dir, d);
}

TEST(BotStepHSL, ZeroStepsOnlyResetsTheIndex) {
    Pair p(4, 4);
    Bot bot;
    bot.SetPathSteps(0);
    bot.path_index = 7;
    bot.x = 2;
    bot.StepPathHSL(&p.hsl, &p.rgb);
    EXPECT_EQ(bot.path_index, 0u);
    EXPECT_EQ(bot.x, 2);
}

TEST(BotStepRGB, ReadsConvertedColoursAndWritesWithoutHueShift) {
    const int W = 4, H = 3;
    Image img;
    ASSERT_TRUE(img.Create(W, H, 24));
    std::memset(img.data, 196, static_cast<size_t>(W) * H * 3);
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(2);
    bot.x = 1;
    bot.y = 1;
    bot.hue_shift = 77;
    next_dir = 3;
    next_out = HSL_888{0, 255, 128};
    bot.path_index = 0;
    bot.StepRGB(&img);
    for (int j = 0; j < 9; ++j) {
        EXPECT_EQ(seen.h[j], 0);
        EXPECT_EQ(seen.s[j], 0);
        EXPECT_EQ(seen.l[j], 196);
    }
    const uint8_t* c = img.data + (1 * W + 1) * 3;
    EXPECT_EQ(c[0], 255);
    EXPECT_EQ(c[1], 1);
    EXPECT_EQ(c[2], 1);
    // The next step, one cell right, sees the written cell at ring slot 7
    // (offset (-1, 0) with heading 3 is index (7 - 3) & 7 = 4, straight behind).
    bot.path_index = 1;
    bot.StepRGB(&img);
    EXPECT_EQ(seen.h[4], 0);
    EXPECT_EQ(seen.s[4], 254);
    EXPECT_EQ(seen.l[4], 128);
}

TEST(BotStepRGB, TopRightReadsAcrossBothEdges) {
    const int W = 4, H = 3;
    Image img;
    ASSERT_TRUE(img.Create(W, H, 24));
    std::memset(img.data, 0, static_cast<size_t>(W) * H * 3);
    uint8_t* target = img.data + ((H - 1) * W + 0) * 3;  // cell (0, H-1)
    target[0] = 255;                                    // pure red
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(1);
    bot.x = W - 1;
    bot.y = 0;
    bot.dir = 0;
    bot.StepPathRGB(&img);
    EXPECT_EQ(seen.s[2], 255);  // slot 2, offset (1, -1)
    EXPECT_EQ(seen.l[2], 128);
}

TEST(BotPrint, GenesInThreeGroups) {
    Bot bot;
    const uint8_t genes[13] = {13, 3, 0, 10, 0, 7, 1, 1, 2, 0, 224, 4, 169};
    std::memcpy(bot.genes, genes, 13);
    testing::internal::CaptureStdout();
    bot.Print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "genes [2] 13  3  0 10  [0]  0  7  1  1 (224,  4, 169)\n");
    bot.genes[0] = 200;
    testing::internal::CaptureStdout();
    bot.Print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "genes [2] 200  3  0 10  [0]  0  7  1  1 (224,  4, 169)\n");
}
