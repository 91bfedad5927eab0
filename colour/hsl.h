// Colour records and the conversions between RGB and HSL.
//
// The 8-bit integer conversions are the ones the simulation runs on; their
// rounding is part of the picture, so they are exact integer arithmetic.
// The float forms, their reference (_org) variants and the 8-bit wrappers
// around the float forms (_f) stand beside them for tools.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct RGB_888 {
    uint8_t r, g, b;
};
struct HSL_888 {
    uint8_t h, s, l;
};
#pragma pack(pop)

struct RGB {
    float r, g, b;
};
struct HSL {
    float h, s, l;  // h in degrees 0..360, s and l 0..1
};

static_assert(sizeof(RGB_888) == 3, "RGB_888 must be three packed bytes");
static_assert(sizeof(HSL_888) == 3, "HSL_888 must be three packed bytes");
static_assert(sizeof(RGB) == 3 * sizeof(float), "RGB must be three floats");
static_assert(sizeof(HSL) == 3 * sizeof(float), "HSL must be three floats");

// Integer conversions. The hue circle has 256 steps: red 0, green 84, blue 168.
void RGBtoHSL(const RGB_888* in, HSL_888* out);
void HSLtoRGB(const HSL_888* in, RGB_888* out);

// Single-precision conversions, hue in degrees.
void RGBtoHSL(const RGB* in, HSL* out);
void HSLtoRGB(const HSL* in, RGB* out);
void RGBtoHSL_org(const RGB* in, HSL* out);
void HSLtoRGB_org(const HSL* in, RGB* out);

// 8-bit wrappers around the float forms (360 degrees at hue byte 255).
void RGBtoHSL_f(const RGB_888* in, HSL_888* out);
void HSLtoRGB_f(const HSL_888* in, RGB_888* out);

// The integer HSL-to-RGB conversion, inline for the bots' step loop: no
// division, no floating point, no table, and no branch on the colour (the
// sectors and the lightness halves are chosen by selects).
inline __attribute__((always_inline)) void HSLtoRGB_inline(const HSL_888& in, RGB_888& out) {
    const int32_t h = in.h, s = in.s, l = in.l;
    // Base levels of the three hue sectors: red at 0, green at 84, blue at 168.
    const bool s0 = h <= 84;
    const bool s2 = h >= 169;
    int32_t r = s0 ? (84 - h) * 6 : (s2 ? (h - 168) * 6 : 0);
    int32_t g = s0 ? h * 6 : (s2 ? 0 : (168 - h) * 6);
    int32_t b = s0 ? 0 : (s2 ? (256 - h) * 6 : (h - 84) * 6);
    r = r > 255 ? 255 : r;
    g = g > 255 ? 255 : g;
    b = b > 255 ? 255 : b;
    const int32_t sat = 2 * s + 6;
    const int32_t grey = (255 - s) * 256;
    // Dark half: (c * l) >> 16; light half: ((c * (255 - l)) >> 16) + 2l - 255.
    const bool light = l >= 128;
    const int32_t scale = light ? 255 - l : l;
    const int32_t lift = light ? 2 * l - 255 : 0;
    out.r = static_cast<uint8_t>((((r * sat + grey) * scale) >> 16) + lift);
    out.g = static_cast<uint8_t>((((g * sat + grey) * scale) >> 16) + lift);
    out.b = static_cast<uint8_t>((((b * sat + grey) * scale) >> 16) + lift);
}
