// The display colours painted after a walk: every HSL colour converts as the scalar
// conversion does, the trail ends up in RGB, and a cell visited more than once shows its
// last colour, for trails shorter and longer than the vector width.
#include "bots/trail_colours.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

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

}  // namespace
