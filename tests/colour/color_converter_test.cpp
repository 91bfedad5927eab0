#include "colour/color_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

// RGB to HSV and back gives every colour of a grid back (each sector, each maximum); hues out
// of range or NaN take sector 0; a hue just under 0 wraps to 360, a NaN maximum gives 0; YUV
// round trips closely; white, black, grey and red's overshoot pin both matrices.
TEST(ColorConverter, RoundTripsAndEdges) {
    const ColorConverter cc;
    float worst_hsv = 0, worst_yuv = 0, a, b, c, out[3];
    for (int i = 0; i < 21 * 21 * 21; ++i) {
        const float in[3] = {float(i / 441) / 20, float(i / 21 % 21) / 20, float(i % 21) / 20};
        cc.RGBtoHSV(in[0], in[1], in[2], &a, &b, &c);
        cc.HSVtoRGB(a, b, c, &out[0], &out[1], &out[2]);
        for (int k = 0; k < 3; ++k) worst_hsv = std::max(worst_hsv, std::fabs(out[k] - in[k]));
        cc.RGBtoYUV(in[0], in[1], in[2], &a, &b, &c);
        cc.YUVtoRGB(a, b, c, &out[0], &out[1], &out[2]);
        for (int k = 0; k < 3; ++k) worst_yuv = std::max(worst_yuv, std::fabs(out[k] - in[k]));
    }
    EXPECT_LT(worst_hsv, 1e-5f);
    EXPECT_LT(worst_yuv, 0.006f);
    for (const float h : {360.f, 720.f, -60.f, NAN}) {
        cc.HSVtoRGB(h, 0.5f, 0.8f, &a, &b, &c);
        EXPECT_TRUE(a == 0.8f && b == c && std::fabs(b - 0.4f) < 1e-6f) << h;
    }
    cc.RGBtoHSV(1, 0, 0.0000001f, &a, &b, &c);
    EXPECT_NEAR(a, 360, 1e-4f);
    cc.RGBtoHSV(0.5f, NAN, 0.2f, &a, &b, &c);  // a NaN maximum
    EXPECT_EQ(a, 0);
    cc.RGBtoYUV(1, 1, 1, &a, &b, &c);
    EXPECT_TRUE(std::fabs(a - 1) + std::fabs(b - 0.499f) + std::fabs(c - 0.4997f) < 1e-5f);
    cc.RGBtoYUV(0, 0, 0, &a, &b, &c);
    EXPECT_TRUE(a == 0 && b == 0.5f && c == 0.5f) << a << " " << b << " " << c;
    cc.YUVtoRGB(0.5f, 0.5f, 0.5f, &a, &b, &c);
    EXPECT_TRUE(a == 0.5f && b == 0.5f && c == 0.5f) << a << " " << b << " " << c;
    cc.RGBtoYUV(1, 0, 0, &a, &b, &c);
    cc.YUVtoRGB(a, b, c, &out[0], &out[1], &out[2]);
    EXPECT_NEAR(out[0], 1.0028f, 1e-4f);
    EXPECT_NEAR(out[1], -0.0011f, 1e-4f);
    EXPECT_NEAR(out[2], -0.0017f, 1e-4f);
}
