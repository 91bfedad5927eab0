#include "image/image.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace {

// Text of InfoString, shared by all images: the whole text and one line.
char info[256];
char line[96];

uint32_t Low32(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p) & 0xFFFFFFFFu);
}

}  // namespace

bool Image::Create(uint32_t w, uint32_t h, uint32_t p, const PIXELFORMAT* fmt, void* pixels) {
    Destroy();
    if (fmt == nullptr) {
        fputs("Image::Create() failure: no pixel format\n", stderr);
        return false;
    }
    const PIXELFORMAT f = *fmt;  // fmt may point at this->format
    if (f.bpp < 1 || f.bpp > 32) {
        fputs("Image::Create() failure: unsupported bits per pixel\n", stderr);
        return false;
    }
    // 64-bit sizes: in 32 bits width x bpp and height x pitch could wrap and
    // let a too small block pass.
    const uint64_t rowBits = static_cast<uint64_t>(w) * f.bpp;
    if (rowBits > UINT32_MAX) {
        fputs("Image::Create() failure: image too large\n", stderr);
        return false;
    }
    if ((rowBits + 7) / 8 > p) {
        fputs("Image::Create() failure: pitch too small\n", stderr);
        return false;
    }
    const uint64_t bytes = static_cast<uint64_t>(h) * p;
    if (bytes > kMaxPixelBytes) {
        fputs("Image::Create() failure: image too large\n", stderr);
        return false;
    }

    uint32_t* table = nullptr;
    if ((f.redMask | f.greenMask | f.blueMask | f.alphaMask) == 0) {
        if (f.bpp > 8) {
            fputs("Image::Create() failure: unsupported palettized image bpp\n", stderr);
            return false;
        }
        const uint32_t entries = 1u << f.bpp;
        table = new (std::nothrow) uint32_t[entries];
        if (table == nullptr) {
            fputs("Image::Create() failure: palette not allocated\n", stderr);
            return false;
        }
        GrayPalette(table, entries);
    } else {
        const uint32_t m[4] = {f.redMask, f.greenMask, f.blueMask, f.alphaMask};
        for (int i = 0; i < 4; ++i) {
            for (int j = i + 1; j < 4; ++j) {
                if ((m[i] & m[j]) != 0) {
                    fputs("Image::Create() failure: argb masks overlap\n", stderr);
                    return false;
                }
            }
        }
        const uint32_t all = m[0] | m[1] | m[2] | m[3];
        if (f.bpp < 32 && (all >> f.bpp) != 0) {
            fputs("Image::Create() failure: wrong rgba masks for bpp\n", stderr);
            return false;
        }
    }

    if (pixels != nullptr) {
        data = static_cast<uint8_t*>(pixels);
        bOwnPixels = false;
    } else {
        data = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)];
        if (data == nullptr) {
            fputs("Image::Create() failure: pixels not allocated\n", stderr);
            delete[] table;
            return false;
        }
        bOwnPixels = true;
    }
    palette = table;
    width = w;
    height = h;
    pitch = p;
    format = f;
    return true;
}

bool Image::Create(uint32_t w, uint32_t h, uint32_t bpp) {
    PIXELFORMAT f = {bpp, 0, 0, 0, 0};
    switch (bpp) {
        case 1:
        case 2:
        case 4:
        case 8:
            break;
        case 16:
            f = {bpp, 0x7C00, 0x03E0, 0x001F, 0x8000};
            break;
        case 24:
            f = {bpp, 0xFF0000, 0x00FF00, 0x0000FF, 0};
            break;
        case 32:
            f = {bpp, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000};
            break;
        default:
            fputs("Image::Create() failure: unsupported bits per pixel\n", stderr);
            return false;
    }
    // A row too wide for 32 bits gives UINT32_MAX, which the full Create refuses.
    return Create(w, h, CalcPitch(w, bpp, 4), &f, nullptr);
}

void Image::Destroy() {
    if (bOwnPixels && data != nullptr) delete[] data;
    delete[] palette;
    palette = nullptr;
    data = nullptr;
    height = 0;
    width = 0;
}

bool Image::Clear() {
    if (data == nullptr) return false;
    memset(data, 0, static_cast<size_t>(pitch) * height);
    return true;
}

uint32_t Image::CalcPitch(uint32_t w, uint32_t bpp, uint32_t align) {
    uint64_t n = (static_cast<uint64_t>(w) * bpp + 7) / 8;
    if (align >= 2) {
        const uint64_t r = n & (align - 1);
        if (r != 0) n += align - r;
    }
    return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}

bool Image::GrayPalette(uint32_t* table, uint32_t count) {
    if (table == nullptr) {
        fputs("Image::GrayPalette() failure: no palette\n", stderr);
        return false;
    }
    if (count == 1) {  // the ramp has no step: one black entry
        table[0] = 0;
        return true;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t v = static_cast<uint64_t>(i) * 255 / (count - 1);
        table[i] = static_cast<uint32_t>(v) * 0x010101u;
    }
    return true;
}

bool Image::SetPalette(const uint32_t* colors, uint32_t first, uint32_t count) {
    if (colors == nullptr || palette == nullptr) {
        fputs("Image::SetPalette() failure: no palette\n", stderr);
        return false;
    }
    // In 64 bits: first + count must not wrap past the end of the table.
    const uint64_t entries = format.bpp < 32 ? uint64_t{1} << format.bpp : 0;
    if (static_cast<uint64_t>(first) + count > entries) {
        fputs("Image::SetPalette() failure: too many colors\n", stderr);
        return false;
    }
    memcpy(palette + first, colors, static_cast<size_t>(count) * sizeof(uint32_t));
    return true;
}

const char* Image::InfoString() {
    info[0] = '\0';
    size_t used = 0;
    auto append = [&used]() {
        const int n = snprintf(info + used, sizeof info - used, "%s", line);
        if (n > 0) {
            used += static_cast<size_t>(n);
            if (used >= sizeof info) used = sizeof info - 1;  // text was cut
        }
    };
    snprintf(line, sizeof line, "- image @ 0x%08X info - \n", Low32(this));
    append();
    snprintf(line, sizeof line, "width %u, height %u, pitch %u, bpp %u \n", width, height, pitch,
             format.bpp);
    append();
    snprintf(line, sizeof line, "masks : red 0x%08X, green 0x%08X, blue 0x%08X, alpha 0x%08X\n",
             format.redMask, format.greenMask, format.blueMask, format.alphaMask);
    append();
    snprintf(line, sizeof line, "data @ 0x%08X, palette @ 0x%08X, bOwnPixels %u \n", Low32(data),
             Low32(palette), bOwnPixels ? 1u : 0u);
    append();
    snprintf(line, sizeof line, "color keys: src 0x%08X dst 0x%08X \n", srcColorKey, dstColorKey);
    append();
    return info;
}
