// Colour records and the conversions between RGB and HSL.
//
// The 8-bit integer conversions are the ones the simulation runs on; their
// rounding is part of the picture, so they are exact integer arithmetic.
// The float forms, their reference (_org) variants and the 8-bit wrappers
// around the float forms (_f) stand beside them for tools.
#pragma once

#include <cstdint>

#include "colour/force_inline.h"

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
// division, no floating point, no table.
LUMIVOR_INLINE void HSLtoRGB_inline(const HSL_888& in, RGB_888& out) {
    const int32_t h = in.h, s = in.s, l = in.l;
    // Base levels of the three hue sectors: red at 0, green at 84, blue at 168.
    int32_t r, g, b;
    if (h <= 84) {
        r = (84 - h) * 6;
        g = h * 6;
        b = 0;
    } else if (h <= 168) {
        r = 0;
        g = (168 - h) * 6;
        b = (h - 84) * 6;
    } else {
        r = (h - 168) * 6;
        g = 0;
        b = (256 - h) * 6;
    }
    r = r > 255 ? 255 : r;
    g = g > 255 ? 255 : g;
    b = b > 255 ? 255 : b;
    const int32_t sat = 2 * s + 6;
    const int32_t grey = (255 - s) * 256;
    r = r * sat + grey;
    g = g * sat + grey;
    b = b * sat + grey;
    if (l <= 127) {
        r = (r * l) >> 16;
        g = (g * l) >> 16;
        b = (b * l) >> 16;
    } else {
        const int32_t dark = 255 - l;
        const int32_t lift = 2 * l - 255;
        r = ((r * dark) >> 16) + lift;
        g = ((g * dark) >> 16) + lift;
        b = ((b * dark) >> 16) + lift;
    }
    out.r = static_cast<uint8_t>(r);
    out.g = static_cast<uint8_t>(g);
    out.b = static_cast<uint8_t>(b);
}
