// The saver's picture in a host's own buffer of 32-bit pixels (an X image, a
// Wayland shared-memory buffer, a Windows DIB, a canvas's RGBA bytes), painted
// point by point exactly where OpenGL draws the trails, with the tiles changed
// since the last present. Where OpenGL is software, drawing the trails through
// it costs several times the world's own work; this costs a fraction of it.
#pragma once

#include <cstdint>

#include "host/shared/damage_grid.h"
#include "saver/saver.h"

// Where the three 8-bit channels sit in a pixel, read as a 32-bit number.
struct PixelFormat {
    int red_shift = 16, green_shift = 8, blue_shift = 0;  // XRGB8888
    uint32_t fill = 0;        // bits set in every pixel (an opaque alpha)
    bool swap_bytes = false;  // the buffer's byte order is not this machine's

    uint32_t Pixel(RGB_888 c) const {
        const uint32_t p = static_cast<uint32_t>(c.r) << red_shift |
                           static_cast<uint32_t>(c.g) << green_shift |
                           static_cast<uint32_t>(c.b) << blue_shift | fill;
        return swap_bytes ? __builtin_bswap32(p) : p;
    }
};

class PixelTrails : public TrailDrawing {
  public:
    DamageGrid damage;  // tiles painted since the host last took them

    // Paints into width x height pixels at `pixels`, `stride` bytes a row, top
    // row first; all of it counts as changed. False when the tile grid cannot
    // be had (every change is then the whole picture).
    bool Attach(void* pixels, int width, int height, int stride, PixelFormat format,
                int tile = DamageGrid::kTile);
    void Detach() { Attach(nullptr, 0, 0, 0, format_); }

    void Clear(RGB_888 colour) override;
    // Points off the buffer (a world larger than the window) are dropped.
    void DrawTrails(const Biotope& world) override;

    int width() const { return width_; }
    int height() const { return height_; }

  private:
    uint8_t* pixels_ = nullptr;
    int width_ = 0, height_ = 0, stride_ = 0;
    PixelFormat format_;
};
