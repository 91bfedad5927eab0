// The display colours painted after a walk: every HSL colour converts as the
// scalar conversion does, the trail ends up in RGB, and a cell visited more
// than once shows its last colour.
#include "bots/trail_colours.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kSide = 256;

// Paints the trail (xy, hsl) into a 256x256 display and checks the trail and
// the display against the scalar conversion, entry by entry in trail order.
void CheckTrail(const std::vector<Point2i>& xy, const std::vector<RGB_888>& hsl) {
    std::vector<uint8_t> display(kSide * kSide * 3, 0xEE);
    std::vector<RGB_888> colours = hsl;
    PaintTrail(xy.data(), colours.data(), colours.size(), display.data(), kSide * 3);

    std::vector<uint8_t> expected_display(display.size(), 0xEE);
    for (size_t i = 0; i < hsl.size(); ++i) {
        RGB_888 rgb;
        HSLtoRGB_inline(HSL_888{hsl[i].r, hsl[i].g, hsl[i].b}, rgb);
        ASSERT_EQ(std::memcmp(&colours[i], &rgb, 3), 0)
            << "entry " << i << " hsl " << int{hsl[i].r} << " " << int{hsl[i].g} << " "
            << int{hsl[i].b};
        uint8_t* cell = &expected_display[(xy[i].y * kSide + xy[i].x) * 3];
        cell[0] = rgb.r;
        cell[1] = rgb.g;
        cell[2] = rgb.b;
    }
    EXPECT_EQ(display, expected_display);
}

// `extra` entries that revisit cells, so that later entries must win.
void AddRevisits(int h, unsigned long extra, std::vector<Point2i>* xy, std::vector<RGB_888>* hsl) {
    for (unsigned long k = 0; k < extra; ++k) {
        xy->push_back(Point2i{static_cast<int32_t>(k % 7), 3});
        hsl->push_back(RGB_888{static_cast<uint8_t>(h + k), 9, static_cast<uint8_t>(k * 37)});
    }
}

// Every colour with hue h at (s, l), then a few revisits: the length is not
// a multiple of the vector width.
TEST(TrailColours, EqualTheScalarConversionForEveryColour) {
    for (int h = 0; h < 256; ++h) {
        SCOPED_TRACE(h);
        std::vector<Point2i> xy;
        std::vector<RGB_888> hsl;
        for (int l = 0; l < 256; ++l) {
            for (int s = 0; s < 256; ++s) {
                xy.push_back(Point2i{s, l});
                hsl.push_back(RGB_888{static_cast<uint8_t>(h), static_cast<uint8_t>(s),
                                      static_cast<uint8_t>(l)});
            }
        }
        AddRevisits(h, static_cast<unsigned long>(h % 11), &xy, &hsl);
        CheckTrail(xy, hsl);
    }
}

TEST(TrailColours, ShortTrailsAndTheSwitch) {
    for (unsigned long n = 0; n < 20; ++n) {
        SCOPED_TRACE(n);
        std::vector<Point2i> xy;
        std::vector<RGB_888> hsl;
        AddRevisits(static_cast<int>(40 + 9 * n), n, &xy, &hsl);
        CheckTrail(xy, hsl);
    }
    const bool after = PaintTrailAfterWalk();
    AllowVectorTrailPaint(false);
    EXPECT_FALSE(PaintTrailAfterWalk());
    AllowVectorTrailPaint(true);
    EXPECT_EQ(PaintTrailAfterWalk(), after);
}

}  // namespace
