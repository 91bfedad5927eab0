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
    // In locals: the pixels are written through bytes, which could alias the
    // members, so the compiler would read them again at every point.
    uint8_t* const pixels = pixels_;
    const int width = width_, height = height_;
    const size_t stride = static_cast<size_t>(stride_);
    const PixelFormat format = format_;
    for (unsigned long b = 0; b < world.n_bots; ++b) {
        const Bot& bot = world.bots[b];
        const Point2i* const xy = bot.path_xy;
        const RGB_888* const rgb = bot.path_rgb;
        for (unsigned long i = 0; i < bot.path_steps; ++i) {
            const int x = xy[i].x, y = height - 1 - xy[i].y;
            if (static_cast<unsigned>(x) >= static_cast<unsigned>(width) ||
                static_cast<unsigned>(y) >= static_cast<unsigned>(height))
                continue;
            const uint32_t pixel = format.Pixel(rgb[i]);
            std::memcpy(pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4,
                        &pixel, 4);
            damage.Mark(x, y);
        }
    }
}
