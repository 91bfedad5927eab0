#include "colour/color_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using Op = void (ColorConverter::*)(float, float, float, float*, float*, float*) const;
static const Op hsv_rgb = &ColorConverter::HSVtoRGB, rgb_hsv = &ColorConverter::RGBtoHSV,
                rgb_yuv = &ColorConverter::RGBtoYUV, yuv_rgb = &ColorConverter::YUVtoRGB;

// Listed values (NAN out: unchecked; a hue in no sector, a NaN maximum: hue 0); YUV round trips.
TEST(ColorConverter, ListedValuesAndYUVRoundTrip) {
    const ColorConverter cc;
    const struct {
        Op op;
        float in[3], out[3];
    } cases[] = {{hsv_rgb, {30, 1, 1}, {1, 0.5f, 0}},
                 {hsv_rgb, {120, 1, 1}, {0, 1, 0}},
                 {hsv_rgb, {360, 1, 1}, {1, 0, 0}},
                 {hsv_rgb, {720, 1, 1}, {1, 0, 0}},
                 {hsv_rgb, {200, 0, 0.25f}, {0.25f, 0.25f, 0.25f}},
                 {hsv_rgb, {-60, 0.5f, 0.8f}, {0.8f, 0.4f, 0.4f}},
                 {hsv_rgb, {NAN, 1, 1}, {1, 0, 0}},
                 {rgb_hsv, {1, 0, 1}, {300, 1, 1}},
                 {rgb_hsv, {0, 0, 1}, {240, 1, 1}},
                 {rgb_hsv, {0.5f, 0.5f, 0.5f}, {0, 0, 0.5f}},
                 {rgb_hsv, {0, 0, 0}, {0, 0, 0}},
                 {rgb_hsv, {1, 0, 0.0000001f}, {360, 1, 1}},
                 {rgb_hsv, {0.5f, NAN, 0.2f}, {0, NAN, NAN}},
                 {rgb_yuv, {1, 1, 1}, {1, 0.499f, 0.4997f}},
                 {rgb_yuv, {0, 0, 0}, {0, 0.5f, 0.5f}},
                 {yuv_rgb, {0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}}};
    for (const auto& c : cases) {
        float out[3] = {NAN, NAN, NAN};
        (cc.*c.op)(c.in[0], c.in[1], c.in[2], &out[0], &out[1], &out[2]);
        for (int i = 0; i < 3; ++i) {
            if (!std::isnan(c.out[i])) {
                EXPECT_NEAR(out[i], c.out[i], 1e-5f)
                    << c.in[0] << ", " << c.in[1] << " [" << i << "]";
            }
        }
    }
    float worst = 0, y, u, v, out[3];
    for (int i = 0; i < 21 * 21 * 21; ++i) {
        const float in[3] = {float(i / 441) / 20, float(i / 21 % 21) / 20, float(i % 21) / 20};
        cc.RGBtoYUV(in[0], in[1], in[2], &y, &u, &v);
        cc.YUVtoRGB(y, u, v, &out[0], &out[1], &out[2]);
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::fabs(out[c] - in[c]));
    }
    EXPECT_LT(worst, 0.006f);
    cc.RGBtoYUV(1, 0, 0, &y, &u, &v);
    cc.YUVtoRGB(y, u, v, &out[0], &out[1], &out[2]);
    EXPECT_NEAR(out[0], 1.0028f, 1e-4f);
    EXPECT_NEAR(out[1], -0.0011f, 1e-4f);
    EXPECT_NEAR(out[2], -0.0017f, 1e-4f);
}
