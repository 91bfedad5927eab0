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

void HSLtoRGB(const HSL_888* in, RGB_888* out) {
    HSLtoRGB_inline(*in, *out);
}

// Single-precision forms. Every expression keeps the operation order written
// here: the results are compared bit for bit, so no reassociation.

namespace {

// Both forms: the main one stops at the first hue case that holds; the
// reference form (`adds_each_case`) tests the three one after another, each
// adding its term. At most one of them holds, so the result is the same.
void ToHSL(const RGB* in, HSL* out, bool adds_each_case) {
    const float r = in->r, g = in->g, b = in->b;
    float mn = r < g ? r : g;
    if (b < mn) mn = b;
    float mx = r > g ? r : g;
    if (b > mx) mx = b;
    const float d = mx - mn;
    const float l = (mn + mx) * 0.5f;
    float s = 0.0f;
    if (l > 0.0f && l < 1.0f) s = d / (l < 0.5f ? l + l : l * -2.0f + 2.0f);
    float h = 0.0f;
    if (d > 0.0f) {
        if (adds_each_case) {
            if (mx == r && mx != g) h += (g - b) / d;
            if (mx == g && mx != b) h += (b - r) / d + 2.0f;
            if (mx == b && mx != r) h += (r - g) / d + 4.0f;
        } else if (mx == r && mx != g) {
            h = (g - b) / d;
        } else if (mx == g && mx != b) {
            h = (b - r) / d + 2.0f;
        } else if (mx == b && mx != r) {
            h = (r - g) / d + 4.0f;
        }
        h = 60.0f * h;
        if (h < 0.0f) h += 360.0f;
    }
    out->h = h;
    out->s = s;
    out->l = l;
}

float at_most_one(float x) {
    return x > 1.0f ? 1.0f : x;
}

}  // namespace

void RGBtoHSL(const RGB* in, HSL* out) {
    ToHSL(in, out, false);
}

void RGBtoHSL_org(const RGB* in, HSL* out) {
    ToHSL(in, out, true);
}

void HSLtoRGB(const HSL* in, RGB* out) {
    const float k = 0.016666668f;  // 1/60, as a multiplier
    const float h = in->h, s = in->s, l = in->l;
    float c[3];
    if (h < 120.0f) {
        c[0] = at_most_one((120.0f - h) * k);
        c[1] = at_most_one(h * k);
        c[2] = 0.0f;
    } else if (h < 240.0f) {
        c[0] = 0.0f;
        c[1] = at_most_one((240.0f - h) * k);
        c[2] = at_most_one((h - 120.0f) * k);
    } else {
        c[0] = at_most_one((h - 240.0f) * k);
        c[1] = 0.0f;
        c[2] = at_most_one((360.0f - h) * k);
    }
    for (float& ch : c) {
        ch = ch * (s + s) + (1.0f - s);
        ch = l < 0.5f ? ch * l : ch * (1.0f - l) + (l + l - 1.0f);
    }
    out->r = c[0];
    out->g = c[1];
    out->b = c[2];
}

// Reference form: divides by 60, and lifts light colours in another order;
// the results differ from HSLtoRGB only in the last bits.
void HSLtoRGB_org(const HSL* in, RGB* out) {
    const float h = in->h, s = in->s, l = in->l;
    float c[3];
    if (h < 120.0f) {
        c[0] = at_most_one((120.0f - h) / 60.0f);
        c[1] = at_most_one(h / 60.0f);
        c[2] = 0.0f;
    } else if (h < 240.0f) {
        c[0] = 0.0f;
        c[1] = at_most_one((240.0f - h) / 60.0f);
        c[2] = at_most_one((h - 120.0f) / 60.0f);
    } else {
        c[0] = at_most_one((h - 240.0f) / 60.0f);
        c[1] = 0.0f;
        c[2] = at_most_one((360.0f - h) / 60.0f);
    }
    for (float& ch : c) {
        ch = ch * (s + s) + (1.0f - s);
        ch = l < 0.5f ? ch * l : ((ch * (1.0f - l)) + (l + l)) - 1.0f;
    }
    out->r = c[0];
    out->g = c[1];
    out->b = c[2];
}

namespace {

constexpr float kByteToUnit = 0.003921569f;    // 1/255
constexpr float kByteToDegrees = 1.4117647f;   // 360/255
constexpr float kDegreesToByte = 0.70833331f;  // 255/360

// Truncates toward zero and keeps the low eight bits. The float forms keep
// their results within a few units of 0..255, so the conversion to int is
// always defined.
uint8_t truncate_to_byte(float x) {
    return static_cast<uint8_t>(static_cast<int32_t>(x));
}

}  // namespace

void HSLtoRGB_f(const HSL_888* in, RGB_888* out) {
    const HSL hsl = {static_cast<float>(in->h) * kByteToDegrees,
                     static_cast<float>(in->s) * kByteToUnit,
                     static_cast<float>(in->l) * kByteToUnit};
    RGB rgb;
    HSLtoRGB(&hsl, &rgb);
    out->r = truncate_to_byte(rgb.r * 255.0f);
    out->g = truncate_to_byte(rgb.g * 255.0f);
    out->b = truncate_to_byte(rgb.b * 255.0f);
}

void RGBtoHSL_f(const RGB_888* in, HSL_888* out) {
    const RGB rgb = {static_cast<float>(in->r) * kByteToUnit,
                     static_cast<float>(in->g) * kByteToUnit,
                     static_cast<float>(in->b) * kByteToUnit};
    HSL hsl;
    RGBtoHSL(&rgb, &hsl);
    out->h = truncate_to_byte(hsl.h * kDegreesToByte);
    out->s = truncate_to_byte(hsl.s * 255.0f);
    out->l = truncate_to_byte(hsl.l * 255.0f);
}
