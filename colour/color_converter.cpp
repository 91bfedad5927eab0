#include "colour/color_converter.h"

#include <cstdint>

void ColorConverter::HSVtoRGB(float h, float s, float v, float* r, float* g, float* b) const {
    if (s == 0.0f) {
        *r = v;
        *g = v;
        *b = v;
        return;
    }
    float x = h / 60.0f;
    // Hues of 360 and more wrap to 0. So do hues that would give a sector
    // below 0 and non-numbers; for those the check also keeps the conversion
    // to an integer defined.
    if (h >= 360.0f || !(x > -1.0f)) x = 0.0f;
    const int32_t i = static_cast<int32_t>(x);
    const float f = x - static_cast<float>(i);
    const float p = v * (1.0f - s);
    const float q = v * (1.0f - s * f);
    const float t = v * (1.0f - s * (1.0f - f));
    switch (i) {
        case 0:
            *r = v;
            *g = t;
            *b = p;
            break;
        case 1:
            *r = q;
            *g = v;
            *b = p;
            break;
        case 2:
            *r = p;
            *g = v;
            *b = t;
            break;
        case 3:
            *r = p;
            *g = q;
            *b = v;
            break;
        case 4:
            *r = t;
            *g = p;
            *b = v;
            break;
        default:
            *r = v;
            *g = p;
            *b = q;
            break;
    }
}

void ColorConverter::RGBtoHSV(float r, float g, float b, float* h, float* s, float* v) const {
    float mx = r > g ? r : g;
    if (b > mx) mx = b;
    float mn = r < g ? r : g;
    if (b < mn) mn = b;
    *v = mx;
    if (mx == 0.0f) {
        *s = 0.0f;
        *h = 0.0f;
        return;
    }
    const float delta = mx - mn;
    *s = delta / mx;
    if (*s == 0.0f) {
        *h = 0.0f;
        return;
    }
    // Non-numeric components can satisfy none of the cases: their hue is 0.
    float sixths = 0.0f;
    if (mx == r) {
        sixths = (g - b) / delta;
    } else if (mx == g) {
        sixths = 2.0f + (b - r) / delta;
    } else if (mx == b) {
        sixths = 4.0f + (r - g) / delta;
    }
    float hue = 60.0f * sixths;
    if (hue < 0.0f) hue += 360.0f;
    *h = hue;
}

void ColorConverter::RGBtoYUV(float r, float g, float b, float* y, float* u, float* v) const {
    *y = r * 0.299f + g * 0.587f + b * 0.114f;
    *u = r * -0.169f + g * -0.332f + b * 0.5f + 0.5f;
    *v = 0.5f + (r * 0.5f + g * -0.419f + b * -0.0813f);
}

void ColorConverter::YUVtoRGB(float y, float u, float v, float* r, float* g, float* b) const {
    *r = (v - 0.5f) * 1.4075f + y;
    *g = y - 0.3455f * (u - 0.5f) - 0.7169f * (v - 0.5f);
    *b = (u - 0.5f) * 1.779f + y;
}
