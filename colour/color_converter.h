// Single-precision conversions of one colour between RGB and the HSV and YUV
// models. Ranges: r, g, b, s, v, y in 0..1; hue in degrees 0..360; the YUV
// chroma components u and v in 0..1 centred on 0.5. Results are not clamped.
#pragma once

class ColorConverter {
  public:
    // A hue of 360 or more counts as hue 0. A hue that falls in no sector
    // (-60 or below, or not a number) is computed as hue 0 as well.
    void HSVtoRGB(float h, float s, float v, float* r, float* g, float* b) const;
    // Hue of a grey is 0; a hue just below 0 wraps to 360 or just below.
    void RGBtoHSV(float r, float g, float b, float* h, float* s, float* v) const;
    void YUVtoRGB(float y, float u, float v, float* r, float* g, float* b) const;
    void RGBtoYUV(float r, float g, float b, float* y, float* u, float* v) const;
};
