#include "colour/hsl.h"

#include <gtest/gtest.h>

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
