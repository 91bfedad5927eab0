// The bots room: a bot's trail storage and RGB stepping (its HSL stepping is held by the walks'
// equivalence test, tests/behaviour, and the reference runs), and the display colours painted
// after a walk.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bots/bot.h"
#include "bots/trail_colours.h"
#include "image/image.h"

namespace {

// A step function that records the ring it was shown and returns fixed outputs.
uint8_t seen_h[9], seen_s[9], seen_l[9];
void RecordingStep(const Core_* core, long* value, long* dir, HSL_888* out) {
    const Bot* bot = static_cast<const Bot*>(core);
    std::memcpy(seen_h, bot->nbh_h, 9);
    std::memcpy(seen_s, bot->nbh_s, 9);
    std::memcpy(seen_l, bot->nbh_l, 9);
    *value = 0;
    *dir = 3;
    *out = HSL_888{0, 255, 128};
}

}  // namespace

// The same count keeps the arrays and their contents; a count whose arrays cannot be had
// leaves no steps, reported, never thrown.
TEST(Bot, TrailStorage) {
    Bot bot;
    bot.path_xy[5] = Point2i{11, 12};
    Point2i* before = bot.path_xy;
    EXPECT_TRUE(bot.SetPathSteps(1024));
    EXPECT_TRUE(bot.path_xy == before && bot.path_xy[5].x == 11);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(bot.SetPathSteps(~0ul / 4));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("SetPathSteps() failure"),
              std::string::npos);
    EXPECT_TRUE(bot.path_steps == 0 && bot.path_xy == nullptr);
}

// The bot sees grey 196 as (0, 0, 196) and writes its colour without the hue shift; one cell
// on, the written cell is straight behind it and reads back inexactly.
TEST(BotStepRGB, SeesConvertedColoursAndWritesWithoutHueShift) {
    Image img;
    ASSERT_TRUE(img.Create(4, 3, 24));
    std::memset(img.data, 196, 4 * 3 * 3);
    Bot bot;
    bot.step_func = RecordingStep;
    bot.SetPathSteps(2);
    bot.x = bot.y = 1;
    bot.hue_shift = 77;
    bot.StepPathRGB(&img);
    EXPECT_TRUE(seen_h[0] == 0 && seen_s[0] == 0 && seen_l[0] == 196);  // the first step
    EXPECT_EQ(std::string(reinterpret_cast<char*>(img.data) + 15, 3), "\xff\x01\x01");
    EXPECT_TRUE(seen_s[4] == 254 && seen_l[4] == 128) << int{seen_s[4]} << " " << int{seen_l[4]};
}

// The display colours painted after a walk: every HSL colour converts as the scalar
// conversion does, the trail ends up in RGB, and a cell visited more than once shows its
// last colour, for trails shorter and longer than the vector width.
// Each trail is painted into a 256 x 256 display; the trail and the display are checked against
// the scalar conversion, entry by entry in trail order. Trails of 0 to 19 revisits, then every
// colour of each hue with h % 11 revisits after it.
TEST(TrailColours, EqualTheScalarConversionForEveryColour) {
    for (int h = -20; h < 256; ++h) {
        SCOPED_TRACE(h);
        std::vector<Point2i> xy;
        std::vector<RGB_888> hsl;
        for (int i = 0; h >= 0 && i < 256 * 256; ++i) {
            xy.push_back(Point2i{i % 256, i / 256});
            hsl.push_back(RGB_888{uint8_t(h), uint8_t(i), uint8_t(i / 256)});
        }
        for (int k = 0; k < (h < 0 ? h + 20 : h % 11); ++k) {
            xy.push_back(Point2i{k % 7, 3});
            hsl.push_back(RGB_888{uint8_t(h + k), 9, uint8_t(k * 37)});
        }
        std::vector<uint8_t> display(256 * 256 * 3, 0xEE), expected(display);
        std::vector<RGB_888> colours = hsl;
        PaintTrail(xy.data(), colours.data(), colours.size(), display.data(), 256 * 3);
        for (size_t i = 0; i < hsl.size(); ++i) {
            RGB_888 rgb;
            HSLtoRGB_inline(HSL_888{hsl[i].r, hsl[i].g, hsl[i].b}, rgb);
            ASSERT_EQ(std::memcmp(&colours[i], &rgb, 3), 0) << "entry " << i;
            std::memcpy(&expected[(xy[i].y * 256 + xy[i].x) * 3], &rgb, 3);
        }
        EXPECT_EQ(display, expected);
    }
}
