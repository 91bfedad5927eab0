// The colour room: the random generator, the integer and floating HSL conversions, and
// ColorConverter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "colour/color_converter.h"
#include "colour/hsl.h"
#include "colour/random_tovi.h"

// In a process of its own (ctest runs each test so), nothing seeded yet: table (cut to 32
// bits) and sequence are seed 1's.
TEST(RandomToviUnseeded, GlobalStateIsTheStateOfSeedOne) {
    int64_t buffer[32];
    random_state_tovi rec{};
    ASSERT_EQ(initstate_r_tovi(1, buffer, 128, &rec), 0);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(randtbl_tovi[i], int32_t(buffer[i])) << i;
    for (long v : {1804289383L, 846930886L, 1681692777L, 1714636915L, 1957747793L})
        EXPECT_EQ(random_tovi(), v);
}

// Seeding and stepping: within 0 .. 2^31 - 1, the C library's sequence below 2^31 (0 as 1),
// listed first values above it.
TEST(RandomTovi, GlobalSequences) {
    for (const uint32_t seed : {0u, 1u, 2u, 12345u, 2147483647u, 2147483648u, 4294967295u}) {
        srandom_tovi(seed), srandom(seed);
        for (int i = 0; i < 5000; ++i) {
            const long v = random_tovi(), c = random();
            ASSERT_TRUE(v >= 0 && v <= 2147483647 && (seed >= 2147483648u || v == c)) << seed;
        }
    }
    const auto first = [](uint32_t seed) {
        srandom_tovi(seed);
        return std::vector<long>{random_tovi(), random_tovi(), random_tovi()};
    };
    EXPECT_EQ(first(2147483648u), (std::vector<long>{722473798, 841711538, 600775504}));
    EXPECT_EQ(first(4294967295u), (std::vector<long>{1788141860, 836492190, 1667341880}));
}

// Size to type, word 0 = type, each type's first values; n = 7 or no buffer refused.
TEST(RandomToviState, InitstateTypes) {
    int64_t buffer[64], v = -1;
    random_state_tovi rec{};
    EXPECT_EQ(initstate_r_tovi(1, buffer, 7, &rec), -1);
    EXPECT_EQ(initstate_r_tovi(1, nullptr, 128, &rec), -1);
    EXPECT_EQ(srandom_r_tovi(1, &rec), -1);  // still unbound
    const struct {
        uint32_t n;
        int32_t type;
        int64_t first[2];
    } cases[] = {{8, 0, {1103527590, 377401575}},
                 {32, 1, {964237963, 406111040}},
                 {64, 2, {1894937090, 1645272306}},
                 {256, 4, {510644794, 625058908}}};
    for (const auto& c : cases) {
        ASSERT_EQ(initstate_r_tovi(1, buffer, c.n, &rec), 0);
        EXPECT_EQ(rec.type, c.type) << c.n;
        EXPECT_EQ(buffer[0], c.type) << c.n;
        for (int64_t want : c.first) {
            EXPECT_EQ(random_r_tovi(&rec, &v), 0) << c.n;
            EXPECT_EQ(v, want) << c.n;
        }
    }
}

// setstate resumes a buffer where it stopped; a bad position word is refused, changing nothing.
TEST(RandomToviState, SetstateResumesAndRefusesBadPositions) {
    int64_t a[32], b[64], ra[32], rb[64], bad[64] = {}, v = -1, w = -2;
    random_state_tovi rec{}, refa{}, refb{};
    initstate_r_tovi(11, ra, 128, &refa), initstate_r_tovi(22, rb, 256, &refb);
    initstate_r_tovi(22, b, 256, &rec), initstate_r_tovi(11, a, 128, &rec);  // rec ends on a
    for (int64_t word : {int64_t{5 * 31 + 3}, int64_t{5 * 63 + 4}, INT64_MAX, int64_t{-1}}) {
        for (auto [buf, ref] : {std::pair{a, &refa}, std::pair{b, &refb}}) {
            ASSERT_EQ(setstate_r_tovi(buf, &rec), 0);
            bad[0] = word;
            EXPECT_EQ(setstate_r_tovi(bad, &rec), -1) << word;
            for (int i = 0; i < 40; ++i) {
                random_r_tovi(&rec, &v), random_r_tovi(ref, &w);
                ASSERT_EQ(v, w) << word << " " << i;
            }
        }
    }
}

static int rgb(const RGB_888& c) {
    return c.r << 16 | c.g << 8 | c.b;
}
static int hsl(const HSL_888& c) {
    return c.h << 16 | c.s << 8 | c.l;
}
static int to_hsl(RGB_888 in) {
    HSL_888 out{};
    RGBtoHSL(&in, &out);
    return hsl(out);
}

// Worked values, with hue -1 as 255, and all inputs. (Back to RGB: every painted cell of every
// reference run, its habitat file and trace; the inline form equals it for every colour,
// TrailColours.)
TEST(HslInteger, WorkedValuesAndAllInputs) {
    const std::pair<RGB_888, HSL_888> rgb_hsl[] = {
        {{255, 0, 0}, {0, 255, 128}},     {{255, 255, 0}, {42, 255, 128}},
        {{0, 0, 0}, {0, 0, 0}},           {{0, 255, 0}, {84, 255, 128}},
        {{0, 255, 255}, {126, 255, 128}}, {{0, 0, 255}, {168, 255, 128}},
        {{255, 0, 255}, {214, 255, 128}}, {{255, 0, 10}, {255, 255, 128}},
        {{196, 196, 196}, {0, 0, 196}},   {{255, 255, 255}, {0, 0, 255}}};
    for (const auto& [in, want] : rgb_hsl) EXPECT_EQ(to_hsl(in), hsl(want)) << std::hex << rgb(in);
    // All inputs: greys to (0, 0, r), no hue 210..213.
    for (int i = 0; i < 1 << 24; ++i) {
        const int got = to_hsl({uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)});
        ASSERT_FALSE(got >> 16 >= 210 && got >> 16 <= 213) << i;    // the one hue gap
        if (i >> 16 == (i & 255) && (i >> 8 & 255) == (i & 255)) {  // grey
            ASSERT_EQ(got, i & 255) << i;
        }
    }
}

// Floating forms: red, and a red maximum with b > g at 300..360 degrees; green back.
TEST(HslFloat, ListedValues) {
    RGB red = {1, 0, 0}, pink = {1, 0.2f, 0.6f}, c{};
    HSL a{}, b{}, green = {120, 1, 0.5f};
    RGBtoHSL(&red, &a), RGBtoHSL(&pink, &b), HSLtoRGB(&green, &c);
    EXPECT_TRUE(a.h == 0 && a.s == 1 && a.l == 0.5f) << a.h << " " << a.s << " " << a.l;
    EXPECT_TRUE(b.h > 300 && b.h < 360) << b.h;
    EXPECT_TRUE(c.r == 0 && c.g == 1 && c.b == 0) << c.r << " " << c.g << " " << c.b;
}

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
