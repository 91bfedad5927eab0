#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "colour/hsl.h"

namespace {

RGB_888 rgb888(int r, int g, int b) {
    return {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
}
HSL_888 hsl888(int h, int s, int l) {
    return {static_cast<uint8_t>(h), static_cast<uint8_t>(s), static_cast<uint8_t>(l)};
}

// Bit pattern equality, so that -0 and 0 or two NaNs are told apart.
bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct IntCase {
    int in[3];
    int out[3];
};

TEST(HslInteger, RGBtoHSLWorkedValues) {
    const IntCase cases[] = {
        {{255, 0, 0}, {0, 255, 128}},     {{255, 255, 0}, {42, 255, 128}},
        {{0, 255, 0}, {84, 255, 128}},    {{0, 255, 255}, {126, 255, 128}},
        {{0, 0, 255}, {168, 255, 128}},   {{255, 0, 255}, {214, 255, 128}},
        {{255, 0, 10}, {255, 255, 128}},  // hue -1.647 truncates to -1
        {{196, 196, 196}, {0, 0, 196}},   {{0, 0, 0}, {0, 0, 0}},
        {{255, 255, 255}, {0, 0, 255}},
    };
    for (const IntCase& c : cases) {
        const RGB_888 in = rgb888(c.in[0], c.in[1], c.in[2]);
        HSL_888 out{};
        RGBtoHSL(&in, &out);
        EXPECT_EQ(out.h, c.out[0]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
        EXPECT_EQ(out.s, c.out[1]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
        EXPECT_EQ(out.l, c.out[2]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
    }
}

TEST(HslInteger, HSLtoRGBWorkedValues) {
    const IntCase cases[] = {
        {{0, 255, 128}, {255, 1, 1}},    // full saturation at 128: 1 and 255, never 0
        {{84, 255, 128}, {1, 255, 1}},   {{168, 255, 128}, {1, 1, 255}},
        {{42, 128, 64}, {96, 96, 31}},   {{0, 0, 196}, {197, 195, 195}},  // not neutral
        {{0, 0, 0}, {0, 0, 0}},          {{0, 0, 255}, {255, 255, 255}},
        // 84 | 85 and 168 | 169 lie in different sectors.
        {{85, 255, 128}, {1, 255, 6}},   {{169, 255, 128}, {6, 1, 255}},
        {{255, 255, 128}, {255, 1, 6}},
    };
    for (const IntCase& c : cases) {
        const HSL_888 in = hsl888(c.in[0], c.in[1], c.in[2]);
        RGB_888 out{};
        HSLtoRGB(&in, &out);
        EXPECT_EQ(out.r, c.out[0]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
        EXPECT_EQ(out.g, c.out[1]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
        EXPECT_EQ(out.b, c.out[2]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
        RGB_888 inline_out{};
        HSLtoRGB_inline(in, inline_out);
        EXPECT_EQ(std::memcmp(&out, &inline_out, sizeof out), 0);
    }
}

TEST(HslInteger, PureRedRoundTrip) {
    const RGB_888 red = rgb888(255, 0, 0);
    HSL_888 hsl{};
    RGBtoHSL(&red, &hsl);
    RGB_888 back{};
    HSLtoRGB(&hsl, &back);
    EXPECT_EQ(back.r, 255);
    EXPECT_EQ(back.g, 1);
    EXPECT_EQ(back.b, 1);
}

TEST(HslInteger, RGBtoHSLOverAllInputs) {
    std::vector<bool> hue_seen(256, false);
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                const RGB_888 in = rgb888(r, g, b);
                HSL_888 out{};
                RGBtoHSL(&in, &out);
                const int mx = std::max(r, std::max(g, b));
                const int mn = std::min(r, std::min(g, b));
                ASSERT_EQ(out.l, (mx + mn + 1) >> 1) << r << "," << g << "," << b;
                ASSERT_FALSE(out.h >= 210 && out.h <= 213) << r << "," << g << "," << b;
                if (r == g && g == b) {
                    ASSERT_EQ(out.h, 0) << r;
                    ASSERT_EQ(out.s, 0) << r;
                    ASSERT_EQ(out.l, r);
                } else {
                    // The unstored saturation already lies in 0..255, and a
                    // colour of full contrast is fully saturated.
                    const int l = out.l;
                    const int d = mx - mn;
                    const int s = l <= 127 ? d * 127 / l : d * 255 / (511 - 2 * l);
                    ASSERT_TRUE(s >= 0 && s <= 255) << r << "," << g << "," << b;
                    ASSERT_EQ(out.s, s);
                    if (mn == 0 && mx == 255) {
                        ASSERT_EQ(out.s, 255);
                    }
                }
                hue_seen[out.h] = true;
            }
        }
    }
    for (int h = 0; h < 256; ++h) EXPECT_EQ(hue_seen[h], h < 210 || h > 213) << "hue " << h;
}

// Straight from the definition, without storing as bytes, so the range of the
// unstored results can be checked.
void reference_hsl_to_rgb(int h, int s, int l, int out[3]) {
    int c[3];
    if (h <= 84) {
        c[0] = (84 - h) * 6, c[1] = h * 6, c[2] = 0;
    } else if (h <= 168) {
        c[0] = 0, c[1] = (168 - h) * 6, c[2] = (h - 84) * 6;
    } else {
        c[0] = (h - 168) * 6, c[1] = 0, c[2] = (256 - h) * 6;
    }
    for (int i = 0; i < 3; ++i) {
        const int base = std::min(c[i], 255) * (2 * s + 6) + (255 - s) * 256;
        out[i] = l <= 127 ? (base * l) >> 16 : ((base * (255 - l)) >> 16) + 2 * l - 255;
    }
}

TEST(HslInteger, HSLtoRGBOverAllInputs) {
    for (int h = 0; h < 256; ++h) {
        for (int s = 0; s < 256; ++s) {
            for (int l = 0; l < 256; ++l) {
                const HSL_888 in = hsl888(h, s, l);
                RGB_888 out{};
                HSLtoRGB(&in, &out);
                RGB_888 inline_out{};
                HSLtoRGB_inline(in, inline_out);
                int ref[3];
                reference_hsl_to_rgb(h, s, l, ref);
                const int got[3] = {out.r, out.g, out.b};
                const int got_inline[3] = {inline_out.r, inline_out.g, inline_out.b};
                for (int i = 0; i < 3; ++i) {
                    ASSERT_TRUE(ref[i] >= 0 && ref[i] <= 255) << h << "," << s << "," << l;
                    ASSERT_EQ(got[i], ref[i]) << h << "," << s << "," << l << " channel " << i;
                    ASSERT_EQ(got_inline[i], ref[i]) << h << "," << s << "," << l;
                }
            }
        }
    }
}

TEST(HslFloat, PrimariesAndListedValues) {
    const RGB red = {1.0f, 0.0f, 0.0f};
    HSL hsl{-1.0f, -1.0f, -1.0f};
    RGBtoHSL(&red, &hsl);
    EXPECT_EQ(hsl.h, 0.0f);
    EXPECT_EQ(hsl.s, 1.0f);
    EXPECT_EQ(hsl.l, 0.5f);

    const HSL green = {120.0f, 1.0f, 0.5f};
    RGB rgb{-1.0f, -1.0f, -1.0f};
    HSLtoRGB(&green, &rgb);
    EXPECT_EQ(rgb.r, 0.0f);
    EXPECT_EQ(rgb.g, 1.0f);
    EXPECT_EQ(rgb.b, 0.0f);

    struct Case {
        RGB in;
        HSL out;
    };
    const Case cases[] = {
        {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
        {{1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f}},
        {{0.25f, 0.25f, 0.25f}, {0.0f, 0.0f, 0.25f}},
        {{1.0f, 1.0f, 0.0f}, {60.0f, 1.0f, 0.5f}},    // red and green tie: green case
        {{0.0f, 1.0f, 1.0f}, {180.0f, 1.0f, 0.5f}},   // green and blue tie: blue case
        {{1.0f, 0.0f, 1.0f}, {300.0f, 1.0f, 0.5f}},   // red and blue tie: red case
        {{0.0f, 0.0f, 1.0f}, {240.0f, 1.0f, 0.5f}},
        {{0.5f, 0.25f, 0.0f}, {30.0f, 1.0f, 0.25f}},  // dark: s = d / 2l
        {{1.0f, 0.5f, 0.5f}, {0.0f, 1.0f, 0.75f}},    // light: s = d / (2 - 2l)
    };
    for (const Case& c : cases) {
        HSL out{};
        RGBtoHSL(&c.in, &out);
        EXPECT_FLOAT_EQ(out.h, c.out.h) << c.in.r << "," << c.in.g << "," << c.in.b;
        EXPECT_FLOAT_EQ(out.s, c.out.s) << c.in.r << "," << c.in.g << "," << c.in.b;
        EXPECT_FLOAT_EQ(out.l, c.out.l) << c.in.r << "," << c.in.g << "," << c.in.b;
    }
}

// Expected bit patterns worked out independently in single precision, at
// inputs where the main and the reference forms round differently: they
// catch a multiplier used for a divisor or a sum taken in another order.
struct BitsCase {
    float in[3];
    uint32_t out[3];
};

void expect_bits(const float got[3], const uint32_t want[3], const float in[3]) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::bit_cast<uint32_t>(got[i]), want[i])
            << "component " << i << " of " << in[0] << "," << in[1] << "," << in[2]
            << ": got " << got[i] << ", want " << std::bit_cast<float>(want[i]);
    }
}

TEST(HslFloat, BitExactResults) {
    const BitsCase to_rgb[] = {
        {{10.3f, 0.8f, 0.3f}, {0x3f0a3d71, 0x3e11d14f, 0x3d75c28f}},
        {{77.7f, 0.35f, 0.62f}, {0x3f2cae00, 0x3f40c49b, 0x3ef95810}},
        {{133.1f, 0.9f, 0.45f}, {0x3d3851ee, 0x3f5ae147, 0x3e632cac}},
        {{301.9f, 0.66f, 0.51f}, {0x3f5559b4, 0x3e3f1410, 0x3f501b67}},
    };
    const BitsCase to_rgb_org[] = {
        {{10.3f, 0.8f, 0.3f}, {0x3f0a3d71, 0x3e11d14e, 0x3d75c28f}},
        {{77.7f, 0.35f, 0.62f}, {0x3f2cae00, 0x3f40c49c, 0x3ef95810}},
        {{133.1f, 0.9f, 0.45f}, {0x3d3851ee, 0x3f5ae147, 0x3e632cab}},
        {{301.9f, 0.66f, 0.51f}, {0x3f5559b4, 0x3e3f1410, 0x3f501b64}},
    };
    for (const BitsCase& c : to_rgb) {
        const HSL in = {c.in[0], c.in[1], c.in[2]};
        RGB out{};
        HSLtoRGB(&in, &out);
        const float got[3] = {out.r, out.g, out.b};
        expect_bits(got, c.out, c.in);
    }
    for (const BitsCase& c : to_rgb_org) {
        const HSL in = {c.in[0], c.in[1], c.in[2]};
        RGB out{};
        HSLtoRGB_org(&in, &out);
        const float got[3] = {out.r, out.g, out.b};
        expect_bits(got, c.out, c.in);
    }
    const BitsCase to_hsl[] = {
        {{0.1f, 0.7f, 0.3f}, {0x430c0001, 0x3f3fffff, 0x3ecccccd}},
        {{0.9f, 0.2f, 0.35f}, {0x43ad9249, 0x3f471c72, 0x3f0ccccd}},
        {{0.33f, 0.44f, 0.95f}, {0x43655ad6, 0x3f5c71c7, 0x3f23d70a}},
        {{0.6f, 0.61f, 0.2f}, {0x4275da89, 0x3f01948c, 0x3ecf5c29}},
        {{0.8f, 0.05f, 0.06f}, {0x43b3999a, 0x3f61e1e1, 0x3ed9999a}},
    };
    for (const BitsCase& c : to_hsl) {
        const RGB in = {c.in[0], c.in[1], c.in[2]};
        HSL out{}, org{};
        RGBtoHSL(&in, &out);
        RGBtoHSL_org(&in, &org);
        const float got[3] = {out.h, out.s, out.l};
        const float got_org[3] = {org.h, org.s, org.l};
        expect_bits(got, c.out, c.in);
        expect_bits(got_org, c.out, c.in);
    }
}

TEST(HslFloat, RedMaximumWithBlueAboveGreenIsBetween300And360) {
    const RGB colours[] = {{1.0f, 0.0f, 0.01f}, {1.0f, 0.2f, 0.6f}, {0.9f, 0.1f, 0.89f},
                           {0.3f, 0.1f, 0.2f}};
    for (const RGB& c : colours) {
        HSL out{};
        RGBtoHSL(&c, &out);
        EXPECT_GT(out.h, 300.0f) << c.r << "," << c.g << "," << c.b;
        EXPECT_LT(out.h, 360.0f) << c.r << "," << c.g << "," << c.b;
    }
}

TEST(HslFloat, ReferenceRGBtoHSLAgreesBitForBit) {
    const float q = 0.003921569f;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                const RGB in = {static_cast<float>(r) * q, static_cast<float>(g) * q,
                                static_cast<float>(b) * q};
                HSL main_form{}, org{};
                RGBtoHSL(&in, &main_form);
                RGBtoHSL_org(&in, &org);
                ASSERT_TRUE(same_bits(main_form.h, org.h) && same_bits(main_form.s, org.s) &&
                            same_bits(main_form.l, org.l))
                    << r << "," << g << "," << b;
            }
        }
    }
}

TEST(HslFloat, ReferenceHSLtoRGBDiffersOnlyInTheLastBits) {
    for (int h = 0; h < 3600; h += 7) {
        for (int s = 0; s <= 100; s += 5) {
            for (int l = 0; l <= 100; l += 5) {
                const HSL in = {static_cast<float>(h) * 0.1f, static_cast<float>(s) * 0.01f,
                                static_cast<float>(l) * 0.01f};
                RGB main_form{}, org{};
                HSLtoRGB(&in, &main_form);
                HSLtoRGB_org(&in, &org);
                ASSERT_NEAR(main_form.r, org.r, 1e-6f) << in.h << "," << in.s << "," << in.l;
                ASSERT_NEAR(main_form.g, org.g, 1e-6f) << in.h << "," << in.s << "," << in.l;
                ASSERT_NEAR(main_form.b, org.b, 1e-6f) << in.h << "," << in.s << "," << in.l;
            }
        }
    }
}

TEST(HslWrappers, ByteValues) {
    // The wrappers put 360 degrees at hue byte 255, unlike the integer forms.
    const IntCase to_hsl[] = {
        {{255, 0, 0}, {0, 255, 127}},    {{0, 255, 0}, {85, 255, 127}},
        {{0, 0, 255}, {170, 255, 127}},  {{255, 0, 255}, {212, 255, 127}},
        {{0, 0, 0}, {0, 0, 0}},          {{255, 255, 255}, {0, 0, 255}},
        // Worked out independently in single precision.
        {{130, 183, 14}, {55, 218, 98}},    {{238, 127, 26}, {20, 219, 132}},
        {{80, 57, 190}, {177, 137, 123}},   {{240, 126, 194}, {229, 201, 183}},
        {{52, 127, 6}, {68, 231, 66}},      {{110, 208, 143}, {99, 130, 159}},
    };
    for (const IntCase& c : to_hsl) {
        const RGB_888 in = rgb888(c.in[0], c.in[1], c.in[2]);
        HSL_888 out{};
        RGBtoHSL_f(&in, &out);
        EXPECT_EQ(out.h, c.out[0]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
        EXPECT_EQ(out.s, c.out[1]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
        EXPECT_EQ(out.l, c.out[2]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
    }
    const IntCase to_rgb[] = {
        {{0, 255, 128}, {255, 1, 1}},  {{0, 0, 0}, {0, 0, 0}},  {{0, 0, 255}, {255, 255, 255}},
        // Worked out independently in single precision.
        {{130, 183, 14}, {3, 22, 24}},      {{238, 127, 26}, {38, 13, 23}},
        {{80, 57, 190}, {178, 204, 175}},   {{240, 126, 194}, {224, 163, 185}},
        {{52, 127, 6}, {7, 8, 3}},          {{110, 208, 143}, {51, 234, 159}},
    };
    for (const IntCase& c : to_rgb) {
        const HSL_888 in = hsl888(c.in[0], c.in[1], c.in[2]);
        RGB_888 out{};
        HSLtoRGB_f(&in, &out);
        EXPECT_EQ(out.r, c.out[0]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
        EXPECT_EQ(out.g, c.out[1]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
        EXPECT_EQ(out.b, c.out[2]) << c.in[0] << "," << c.in[1] << "," << c.in[2];
    }
}

TEST(HslWrappers, RoundTripStaysClose) {
    // A hue byte spans 1.41 degrees, up to 6 levels of a saturated channel;
    // truncating lightness, saturation and the channels loses up to 2 more.
    int worst = 0;
    for (int r = 0; r < 256; r += 3) {
        for (int g = 0; g < 256; g += 3) {
            for (int b = 0; b < 256; b += 3) {
                const RGB_888 in = rgb888(r, g, b);
                HSL_888 hsl{};
                RGBtoHSL_f(&in, &hsl);
                RGB_888 back{};
                HSLtoRGB_f(&hsl, &back);
                worst = std::max({worst, std::abs(back.r - r), std::abs(back.g - g),
                                  std::abs(back.b - b)});
            }
        }
    }
    EXPECT_LE(worst, 8);
}

}  // namespace
