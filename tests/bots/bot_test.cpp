// Bot record, stepping on the torus (HSL and RGB) and the gene printout.
#include "bots/bot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "colour/random_tovi.h"
#include "image/image.h"

namespace {

// Habitat cells hold distinct position-derived colours; the display starts black.
struct Pair {
    Image hsl, rgb;
    Pair(uint32_t w, uint32_t h) {
        hsl.Create(w, h, 24);
        rgb.Create(w, h, 24);
        for (uint32_t i = 0; i < w * h * 3; ++i) hsl.data[i] = static_cast<uint8_t>(i * 7 + 1);
        std::memset(rgb.data, 0, w * h * 3);
    }
    uint8_t* Cell(Image& im, int x, int y) { return im.data + (y * im.width + x) * 3; }
};

// A step function that records the turned arrays and returns fixed outputs.
uint8_t seen_h[9], seen_s[9], seen_l[9];
HSL_888 seen_cell, next_out;
long next_dir, next_value;
void RecordingStep(const Core_* core, long* value, long* dir, HSL_888* out) {
    const Bot* bot = static_cast<const Bot*>(core);
    std::memcpy(seen_h, bot->nbh_h, 9);
    std::memcpy(seen_s, bot->nbh_s, 9);
    std::memcpy(seen_l, bot->nbh_l, 9);
    seen_cell = *core->cell_hsl;
    *value = next_value;
    *dir = next_dir;
    *out = next_out;
}

}  // namespace

TEST(Bot, DefaultsAndTrailStorage) {
    Bot bot;
    EXPECT_EQ(bot.value, 128);
    EXPECT_EQ(bot.dir, 0);
    EXPECT_EQ(bot.path_steps, 1024u);
    EXPECT_EQ(bot.step_func, &def_step_func);
    EXPECT_EQ(bot.own_hsl, &bot.color);
    bot.path_xy[5] = Point2i{11, 12};
    Point2i* before = bot.path_xy;
    EXPECT_TRUE(bot.SetPathSteps(1024));  // same count: arrays and contents kept
    EXPECT_EQ(bot.path_xy, before);
    EXPECT_EQ(bot.path_xy[5].x, 11);
    // A count whose arrays cannot be had leaves no steps, reported, never thrown.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(bot.SetPathSteps(~0ul / 4));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("SetPathSteps() failure"),
              std::string::npos);
    EXPECT_EQ(bot.path_steps, 0u);
    EXPECT_EQ(bot.path_xy, nullptr);
}

// Every cell of a small habitat (border and interior), every heading: the
// turned arrays hold the wrapped ring, entry 0 straight ahead, 8 the cell under.
TEST(BotStepHSL, NeighbourhoodIsTheWrappedRingTurnedToTheHeading) {
    const int W = 5, H = 4;
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(1);
    next_out = HSL_888{1, 2, 3};
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            for (int d = 0; d < 8; ++d) {
                Pair p(W, H), fresh(W, H);
                bot.x = x;
                bot.y = y;
                bot.dir = d;
                next_dir = d;
                bot.StepPathHSL(&p.hsl, &p.rgb);
                for (int j = 0; j < 9; ++j) {
                    const Point2i o = j < 8 ? Bot::dir_d[(d + j) & 7] : Point2i{0, 0};
                    const uint8_t* c = fresh.Cell(fresh.hsl, (x + o.x + W) % W, (y + o.y + H) % H);
                    ASSERT_EQ(seen_h[j], c[0]) << x << "," << y << " dir " << d << " j " << j;
                    ASSERT_EQ(seen_s[j], c[1]);
                    ASSERT_EQ(seen_l[j], c[2]);
                }
            }
        }
    }
}

TEST(BotStepRGB, SeesConvertedColoursAndWritesWithoutHueShift) {
    Image img;
    img.Create(4, 3, 24);
    std::memset(img.data, 196, 4 * 3 * 3);
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(2);
    bot.x = 1;
    bot.y = 1;
    bot.hue_shift = 77;
    next_dir = 3;
    next_out = HSL_888{0, 255, 128};
    bot.StepPathRGB(&img);
    EXPECT_EQ(seen_h[0], 0);  // grey 196 reads as (0, 0, 196)
    EXPECT_EQ(seen_s[0], 0);
    EXPECT_EQ(seen_l[0], 196);
    const uint8_t* c = img.data + (1 * 4 + 1) * 3;
    EXPECT_EQ(c[0], 255);
    EXPECT_EQ(c[1], 1);
    EXPECT_EQ(c[2], 1);
    // One cell right, the written cell is straight behind and reads back inexactly.
    EXPECT_EQ(seen_s[4], 254);
    EXPECT_EQ(seen_l[4], 128);
}

TEST(BotPrint, GenesInThreeGroupsNeverCut) {
    Bot bot;
    const uint8_t genes[13] = {200, 3, 0, 10, 0, 7, 1, 1, 2, 0, 224, 4, 169};
    std::memcpy(bot.genes, genes, 13);
    testing::internal::CaptureStdout();
    bot.Print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "genes [2] 200  3  0 10  [0]  0  7  1  1 (224,  4, 169)\n");
}
