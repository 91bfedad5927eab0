#include "colour/hsl.h"

void RGBtoHSL(const RGB_888* in, HSL_888* out) {
    const int32_t r = in->r, g = in->g, b = in->b;
    int32_t mn = r < g ? r : g;
    if (b < mn) mn = b;
    int32_t mx = r > g ? r : g;
    if (b > mx) mx = b;
    const int32_t d = mx - mn;
    const int32_t l = (mx + mn + 1) >> 1;
    int32_t s;
    if (l == 0) {
        s = 0;
    } else if (l <= 127) {
        s = (d * 127) / l;
    } else {
        s = (d * 255) / (511 - 2 * l);
    }
    int32_t h = 0;
    if (d != 0) {
        if (mx == r && r != g) {
            h = ((g - b) * 42) / d;
        } else if (mx == g && g != b) {
            h = ((b - r) * 42) / d + 84;
        } else {
            h = ((r - g) * 42) / d + 168;
        }
    }
    out->h = static_cast<uint8_t>(h);
    out->s = static_cast<uint8_t>(s);
    out->l = static_cast<uint8_t>(l);
}

void HSLtoRGB(const HSL_888* in, RGB_888* out) { HSLtoRGB_inline(*in, *out); }
