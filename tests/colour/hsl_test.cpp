#include "colour/hsl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>

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
static int to_rgb(HSL_888 in) {
    RGB_888 out{};
    HSLtoRGB(&in, &out);
    return rgb(out);
}

// Worked values, with hue -1 as 255 and the non-neutral grey (HSLtoRGB: AllInputs).
TEST(HslInteger, WorkedValues) {
    const std::pair<RGB_888, HSL_888> rgb_hsl[] = {
        {{255, 0, 0}, {0, 255, 128}},     {{255, 255, 0}, {42, 255, 128}},
        {{0, 0, 0}, {0, 0, 0}},           {{0, 255, 0}, {84, 255, 128}},
        {{0, 255, 255}, {126, 255, 128}}, {{0, 0, 255}, {168, 255, 128}},
        {{255, 0, 255}, {214, 255, 128}}, {{255, 0, 10}, {255, 255, 128}},
        {{196, 196, 196}, {0, 0, 196}},   {{255, 255, 255}, {0, 0, 255}}};
    for (const auto& [in, want] : rgb_hsl) EXPECT_EQ(to_hsl(in), hsl(want)) << std::hex << rgb(in);
}

// One channel of HSLtoRGB straight from the definition.
static int channel(int base, int s, int l) {
    const int c = std::min(base, 255) * (2 * s + 6) + (255 - s) * 256;
    return l <= 127 ? (c * l) >> 16 : ((c * (255 - l)) >> 16) + 2 * l - 255;
}

// All inputs: greys to (0, 0, r), no hue 210..213; HSLtoRGB, inline and definition agree.
TEST(HslInteger, AllInputs) {
    for (int i = 0; i < 1 << 24; ++i) {
        const int h = i >> 16, s = (i >> 8) & 255, l = i & 255;  // r, g, b for RGBtoHSL
        const int got = to_hsl({uint8_t(h), uint8_t(s), uint8_t(l)});
        ASSERT_FALSE(got >> 16 >= 210 && got >> 16 <= 213) << i;  // the one hue gap
        if (h == s && s == l) {                                   // grey
            ASSERT_EQ(got, l) << i;
        }
        const int r = h <= 84 ? (84 - h) * 6 : h <= 168 ? 0 : (h - 168) * 6;
        const int g = h <= 84 ? h * 6 : h <= 168 ? (168 - h) * 6 : 0;
        const int b = h <= 84 ? 0 : h <= 168 ? (h - 84) * 6 : (256 - h) * 6;
        const int want = channel(r, s, l) << 16 | channel(g, s, l) << 8 | channel(b, s, l);
        const HSL_888 in = {uint8_t(h), uint8_t(s), uint8_t(l)};
        RGB_888 fast{};
        HSLtoRGB_inline(in, fast);
        ASSERT_EQ(to_rgb(in), want) << i;
        ASSERT_EQ(rgb(fast), want) << i;
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
