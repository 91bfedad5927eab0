#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "colour/color_converter.h"

namespace {

constexpr float kTol = 1e-6f;

struct Triple {
    float a, b, c;
};
struct Case {
    Triple in;
    Triple out;
};

TEST(ColorConverter, HSVtoRGB) {
    const Case cases[] = {
        {{30, 1, 1}, {1, 0.5f, 0}},
        {{120, 1, 1}, {0, 1, 0}},
        {{360, 1, 1}, {1, 0, 0}},     // 360 and above count as hue 0
        {{720, 1, 1}, {1, 0, 0}},
        {{200, 0, 0.25f}, {0.25f, 0.25f, 0.25f}},  // no saturation: hue unused
        {{0, 1, 1}, {1, 0, 0}},
        {{90, 1, 1}, {0.5f, 1, 0}},
        {{180, 1, 1}, {0, 1, 1}},
        {{210, 1, 1}, {0, 0.5f, 1}},
        {{270, 1, 1}, {0.5f, 0, 1}},
        {{330, 1, 1}, {1, 0, 0.5f}},
        {{60, 0.5f, 0.8f}, {0.8f, 0.8f, 0.4f}},
        {{400, 0.5f, 0.8f}, {0.8f, 0.4f, 0.4f}},
        {{-30, 1, 1}, {1, -0.5f, 0}},  // sector 0 with a negative fraction
    };
    const ColorConverter cc;
    for (const Case& c : cases) {
        float r = NAN, g = NAN, b = NAN;
        cc.HSVtoRGB(c.in.a, c.in.b, c.in.c, &r, &g, &b);
        EXPECT_NEAR(r, c.out.a, kTol) << c.in.a << "," << c.in.b << "," << c.in.c;
        EXPECT_NEAR(g, c.out.b, kTol) << c.in.a << "," << c.in.b << "," << c.in.c;
        EXPECT_NEAR(b, c.out.c, kTol) << c.in.a << "," << c.in.b << "," << c.in.c;
    }
}

TEST(ColorConverter, HSVtoRGBWritesHueZeroForHuesInNoSector) {
    const float hues[] = {-60.0f, -61.0f, -1e30f, -std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity()};
    const ColorConverter cc;
    for (float h : hues) {
        float r = NAN, g = NAN, b = NAN;
        cc.HSVtoRGB(h, 0.5f, 0.8f, &r, &g, &b);
        EXPECT_FLOAT_EQ(r, 0.8f) << h;
        EXPECT_FLOAT_EQ(g, 0.4f) << h;
        EXPECT_FLOAT_EQ(b, 0.4f) << h;
    }
}

TEST(ColorConverter, RGBtoHSV) {
    const Case cases[] = {
        {{1, 0, 1}, {300, 1, 1}},  // red wins the tie with blue
        {{0, 0, 1}, {240, 1, 1}},
        {{0.5f, 0.5f, 0.5f}, {0, 0, 0.5f}},
        {{0, 0, 0}, {0, 0, 0}},
        {{1, 0, 0}, {0, 1, 1}},
        {{1, 1, 0}, {60, 1, 1}},   // red wins the tie with green
        {{0, 1, 1}, {180, 1, 1}},  // green wins the tie with blue
        {{0, 0.5f, 0}, {120, 1, 0.5f}},
        {{0.8f, 0.4f, 0.4f}, {0, 0.5f, 0.8f}},
        {{1, 0, 0.5f}, {330, 1, 1}},
    };
    const ColorConverter cc;
    for (const Case& c : cases) {
        float h = NAN, s = NAN, v = NAN;
        cc.RGBtoHSV(c.in.a, c.in.b, c.in.c, &h, &s, &v);
        EXPECT_NEAR(h, c.out.a, 1e-4f) << c.in.a << "," << c.in.b << "," << c.in.c;
        EXPECT_NEAR(s, c.out.b, kTol) << c.in.a << "," << c.in.b << "," << c.in.c;
        EXPECT_NEAR(v, c.out.c, kTol) << c.in.a << "," << c.in.b << "," << c.in.c;
    }
}

TEST(ColorConverter, HueJustBelowZeroRoundsTo360AndBack) {
    const ColorConverter cc;
    float h = NAN, s = NAN, v = NAN;
    cc.RGBtoHSV(1.0f, 0.0f, 0.0000001f, &h, &s, &v);
    EXPECT_EQ(h, 360.0f);
    float r = NAN, g = NAN, b = NAN;
    cc.HSVtoRGB(h, s, v, &r, &g, &b);
    EXPECT_FLOAT_EQ(r, 1.0f);
    EXPECT_NEAR(g, 0.0f, kTol);
    EXPECT_NEAR(b, 0.0f, kTol);
}

TEST(ColorConverter, RGBtoHSVWritesHueZeroForNonNumbers) {
    const ColorConverter cc;
    float h = NAN, s = NAN, v = NAN;
    cc.RGBtoHSV(0.5f, std::numeric_limits<float>::quiet_NaN(), 0.2f, &h, &s, &v);
    EXPECT_EQ(h, 0.0f);
}

TEST(ColorConverter, YUV) {
    const ColorConverter cc;
    const Case to_yuv[] = {
        {{1, 1, 1}, {1, 0.499f, 0.4997f}},  // the chroma rows do not sum to zero
        {{0, 0, 0}, {0, 0.5f, 0.5f}},
        {{1, 0, 0}, {0.299f, 0.331f, 1.0f}},
        {{0, 0, 1}, {0.114f, 1.0f, 0.4187f}},
    };
    for (const Case& c : to_yuv) {
        float y = NAN, u = NAN, v = NAN;
        cc.RGBtoYUV(c.in.a, c.in.b, c.in.c, &y, &u, &v);
        EXPECT_NEAR(y, c.out.a, kTol) << c.in.a << "," << c.in.b << "," << c.in.c;
        EXPECT_NEAR(u, c.out.b, kTol) << c.in.a << "," << c.in.b << "," << c.in.c;
        EXPECT_NEAR(v, c.out.c, kTol) << c.in.a << "," << c.in.b << "," << c.in.c;
    }
    float r = NAN, g = NAN, b = NAN;
    cc.YUVtoRGB(0.5f, 0.5f, 0.5f, &r, &g, &b);
    EXPECT_EQ(r, 0.5f);
    EXPECT_EQ(g, 0.5f);
    EXPECT_EQ(b, 0.5f);

    // Red there and back comes out slightly off and unclamped.
    float y = NAN, u = NAN, v = NAN;
    cc.RGBtoYUV(1, 0, 0, &y, &u, &v);
    cc.YUVtoRGB(y, u, v, &r, &g, &b);
    EXPECT_NEAR(r, 1.0028f, 1e-4f);
    EXPECT_NEAR(g, -0.0011f, 1e-4f);
    EXPECT_NEAR(b, -0.0017f, 1e-4f);
}

TEST(ColorConverter, YUVRoundTripOverTheRGBCube) {
    const ColorConverter cc;
    constexpr int kSteps = 40;
    float worst = 0.0f;
    for (int i = 0; i <= kSteps; ++i) {
        for (int j = 0; j <= kSteps; ++j) {
            for (int k = 0; k <= kSteps; ++k) {
                const float in[3] = {static_cast<float>(i) / kSteps,
                                     static_cast<float>(j) / kSteps,
                                     static_cast<float>(k) / kSteps};
                float y, u, v, out[3];
                cc.RGBtoYUV(in[0], in[1], in[2], &y, &u, &v);
                cc.YUVtoRGB(y, u, v, &out[0], &out[1], &out[2]);
                for (int c = 0; c < 3; ++c) worst = std::max(worst, std::fabs(out[c] - in[c]));
            }
        }
    }
    EXPECT_LT(worst, 0.006f);

    // The largest error is at yellow, about 0.0053.
    float y, u, v, out[3];
    cc.RGBtoYUV(1, 1, 0, &y, &u, &v);
    cc.YUVtoRGB(y, u, v, &out[0], &out[1], &out[2]);
    const float yellow = std::max({std::fabs(out[0] - 1), std::fabs(out[1] - 1), std::fabs(out[2])});
    EXPECT_NEAR(yellow, 0.0053f, 0.0001f);
    EXPECT_FLOAT_EQ(worst, yellow);
}

TEST(ColorConverter, BitExactResults) {
    // Expected bit patterns worked out independently in single precision
    // with the sums taken in the stated order.
    struct BitsCase {
        void (ColorConverter::*op)(float, float, float, float*, float*, float*) const;
        float in[3];
        uint32_t out[3];
    };
    const BitsCase cases[] = {
        {&ColorConverter::RGBtoYUV, {0.3f, 0.6f, 0.9f}, {0x3f0b645a, 0x3f3339c0, 0x3ea69ec2}},
        {&ColorConverter::RGBtoYUV, {0.9f, 0.1f, 0.45f}, {0x3ec21964, 0x3f0a29c8, 0x3f5f1b9b}},
        {&ColorConverter::YUVtoRGB, {0.4f, 0.3f, 0.8f}, {0x3f527efa, 0x3e821038, 0x3d350b18}},
        {&ColorConverter::YUVtoRGB, {0.7f, 0.55f, 0.2f}, {0x3e8e353e, 0x3f65d5e5, 0x3f49f8a1}},
        {&ColorConverter::HSVtoRGB, {77.7f, 0.35f, 0.62f}, {0x3f0e5509, 0x3f1eb852, 0x3ece5604}},
        {&ColorConverter::HSVtoRGB, {250.3f, 0.9f, 0.45f}, {0x3dea8c13, 0x3d3851ee, 0x3ee66666}},
        {&ColorConverter::RGBtoHSV, {0.9f, 0.2f, 0.35f}, {0x43ad9249, 0x3f471c72, 0x3f666666}},
        {&ColorConverter::RGBtoHSV, {0.33f, 0.44f, 0.95f}, {0x43655ad6, 0x3f2712dd, 0x3f733333}},
    };
    const ColorConverter cc;
    for (const BitsCase& c : cases) {
        float out[3] = {NAN, NAN, NAN};
        (cc.*c.op)(c.in[0], c.in[1], c.in[2], &out[0], &out[1], &out[2]);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(std::bit_cast<uint32_t>(out[i]), c.out[i])
                << "component " << i << " of " << c.in[0] << "," << c.in[1] << "," << c.in[2];
        }
    }
}

}  // namespace
