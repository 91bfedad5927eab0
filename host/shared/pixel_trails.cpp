#include "host/shared/pixel_trails.h"

#include <cstring>
#include <new>

#ifndef __EMSCRIPTEN__
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "behaviour/trail_walks.h"
#include "bots/trail_colours.h"
#endif

bool PixelTrails::Attach(void* pixels, int width, int height, int stride, PixelFormat format,
                         int tile) {
    pixels_ = static_cast<uint8_t*>(pixels);
    width_ = pixels_ ? width : 0;
    height_ = pixels_ ? height : 0;
    stride_ = stride;
    format_ = format;
#ifndef __EMSCRIPTEN__
    tile_shift_ = -1;
    for (int shift = 0; shift < 31; ++shift)
        if (tile == 1 << shift) tile_shift_ = shift;
#endif
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

#ifndef __EMSCRIPTEN__

namespace {

constexpr int kChunk = 64;  // marks tested at a time: a line of the cache

// Bit k set where marks[k] is not zero, k = 0..63. A chunk never painted,
// the most of them, costs four loads and one test.
inline uint64_t MarkedOf64(const uint8_t* marks) {
#ifdef __SSE2__
    __m128i bytes[4];
    for (int q = 0; q < 4; ++q)
        bytes[q] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(marks + 16 * q));
    const __m128i zero = _mm_setzero_si128();
    const __m128i any =
        _mm_or_si128(_mm_or_si128(bytes[0], bytes[1]), _mm_or_si128(bytes[2], bytes[3]));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) == 0xFFFF) return 0;
    uint64_t clear = 0;
    for (int q = 0; q < 4; ++q)
        clear |= static_cast<uint64_t>(
                     static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes[q], zero))))
                 << (16 * q);
    return ~clear;
#else
    uint64_t words[8];
    std::memcpy(words, marks, sizeof words);
    uint64_t any = 0;
    for (uint64_t word : words) any |= word;
    if (any == 0) return 0;
    uint64_t marked = 0;
    for (int k = 0; k < kChunk; ++k) marked |= static_cast<uint64_t>(marks[k] != 0) << k;
    return marked;
#endif
}

// The same for the n < 64 marks that end a row.
inline uint64_t MarkedOfFew(const uint8_t* marks, int n) {
    uint64_t marked = 0;
    for (int k = 0; k < n; ++k) marked |= static_cast<uint64_t>(marks[k] != 0) << k;
    return marked;
}

}  // namespace

Image* PixelTrails::Marks(const Biotope& world) {
    if (!pixels_ || !world.HasHabitat()) return nullptr;
    // A bot without a marking walk would paint its trail unmarked.
    for (unsigned long b = 0; b < world.n_bots; ++b)
        if (behaviour::MarkingWalkFor(world.bots[b].step_func) == nullptr) return nullptr;
    const uint32_t w = world.hsl_habitat.width, h = world.hsl_habitat.height;
    if (marks_.data == nullptr || marks_.width != w || marks_.height != h) {
        marks_.Destroy();
        // Allocated here, so that a world too large for its marks is drawn
        // from its trails: the same picture.
        mark_bytes_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(w) * h]());
        const PIXELFORMAT one_byte = {8, 0, 0, 0, 0};
        if (!mark_bytes_ || !marks_.Create(w, h, w, &one_byte, mark_bytes_.get())) return nullptr;
    }
    return &marks_;
}

void PixelTrails::ShowMarks(Biotope& world) {
    // The marks in one line from the first cell on, a chunk of 64 at a time:
    // a chunk never painted, the most of them, costs one test. The marked
    // cells are gathered a batch at a time as a trail is (position, and the
    // HSL colour to show), and shown as the saver's walk shows its trail:
    // converted eight at a time where the processor allows, with no branch
    // on the colour to guess wrong.
    const size_t w = marks_.width, n = w * marks_.height;
    uint8_t* const marks = marks_.data;
    const uint8_t* const hsl = world.hsl_habitat.data;
    Point2i xy[kBatch];
    RGB_888 colours[kBatch];
    int count = 0;
    const auto gather = [&](size_t first, uint64_t marked) {
        if (count > kBatch - kChunk) {
            ShowCells(world, xy, colours, count);
            count = 0;
        }
        const int y = static_cast<int>(first / w), x = static_cast<int>(first % w);
        for (; marked != 0; marked &= marked - 1) {
            const int k = __builtin_ctzll(marked);
            const uint8_t* cell = hsl + 3 * (first + k);
            // A chunk may run on into the rows after.
            xy[count] = x + k < static_cast<int>(w) ? Point2i{x + k, y}
                                                    : Point2i{static_cast<int>((first + k) % w),
                                                              static_cast<int>((first + k) / w)};
            colours[count] =
                RGB_888{static_cast<uint8_t>(cell[0] + world.hue_shift), cell[1], cell[2]};
            // Its pixel fetched now, written after the batch is converted.
            const int pixel_y = height_ - 1 - xy[count].y;
            if (pixel_y >= 0 && xy[count].x < width_)
                __builtin_prefetch(pixels_ + static_cast<size_t>(pixel_y) * stride_ +
                                       static_cast<size_t>(xy[count].x) * 4,
                                   1);
            ++count;
        }
    };
    size_t i = 0;
    for (; i + kChunk <= n; i += kChunk) {
        const uint64_t marked = MarkedOf64(marks + i);
        if (marked == 0) continue;
        std::memset(marks + i, 0, kChunk);
        gather(i, marked);
    }
    if (i < n) {
        const uint64_t marked = MarkedOfFew(marks + i, static_cast<int>(n - i));
        std::memset(marks + i, 0, n - i);
        gather(i, marked);
    }
    ShowCells(world, xy, colours, count);
}

void PixelTrails::ShowCells(Biotope& world, const Point2i* xy, RGB_888* colours, int count) {
    PaintTrail(xy, colours, static_cast<unsigned long>(count), world.rgb_habitat.data,
               static_cast<ptrdiff_t>(world.rgb_habitat.width) * 3);
    // Row 0 of the world is the bottom of the buffer. The cells come row by
    // row, so a tile is marked once for the cells after each other in it.
    int tile_x = -1, tile_y = -1;
    for (int i = 0; i < count; ++i) {
        const int x = xy[i].x, y = height_ - 1 - xy[i].y;
        if (x >= width_ || y < 0) continue;
        const uint32_t pixel = format_.Pixel(colours[i]);
        std::memcpy(pixels_ + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * 4, &pixel,
                    4);
        if (x >> tile_shift_ != tile_x || y >> tile_shift_ != tile_y || tile_shift_ < 0) {
            tile_x = x >> tile_shift_;
            tile_y = y >> tile_shift_;
            damage.Mark(x, y);
        }
    }
}

#endif
