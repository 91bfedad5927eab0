#include "host/shared/pixel_trails.h"

#include <cstring>

bool PixelTrails::Attach(void* pixels, int width, int height, int stride, PixelFormat format,
                         int tile) {
    pixels_ = static_cast<uint8_t*>(pixels);
    width_ = pixels_ ? width : 0;
    height_ = pixels_ ? height : 0;
    stride_ = stride;
    format_ = format;
    return damage.Reset(width_, height_, tile);
}

void PixelTrails::Clear(RGB_888 colour) {
    const uint32_t pixel = format_.Pixel(colour);
    for (int y = 0; y < height_; ++y) {
        uint8_t* row = pixels_ + static_cast<size_t>(y) * stride_;
        for (int x = 0; x < width_; ++x) std::memcpy(row + static_cast<size_t>(x) * 4, &pixel, 4);
    }
    damage.MarkAll();
}

void PixelTrails::DrawTrails(const Biotope& world) {
    if (!pixels_ || !world.HasHabitat()) return;
    for (unsigned long b = 0; b < world.n_bots; ++b) {
        const Bot& bot = world.bots[b];
        for (unsigned long i = 0; i < bot.path_steps; ++i) {
            const int x = bot.path_xy[i].x, y = height_ - 1 - bot.path_xy[i].y;
            if (x < 0 || x >= width_ || y < 0 || y >= height_) continue;
            const uint32_t pixel = format_.Pixel(bot.path_rgb[i]);
            std::memcpy(pixels_ + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * 4,
                        &pixel, 4);
            damage.Mark(x, y);
        }
    }
}
