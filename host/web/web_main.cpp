// The browser host: the saver's world compiled to WebAssembly, driven by the
// page's script through the C functions below. The page owns the canvas and
// the cadence; this side builds the world, runs the ticks and keeps the
// picture the page shows.
//
// The picture is the saver's persistent surface at the world's size, as RGBA
// rows top row first (the order a 2D canvas takes). Each update's trail points
// are painted into it exactly where the saver draws them, and the tiles they
// touched are listed, so the page uploads only those. A size change clears it
// to the clear colour while the world goes on, as the saver's surface does.

#include <emscripten/emscripten.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "colour/random_tovi.h"
#include "saver/frame_driver.h"
#include "saver/start.h"
#include "world/biotope.h"
#include "world/community.h"

namespace {

constexpr int kTile = 32;  // side of a dirty tile: measured best of 16, 32 and 64 at 3840x2160
constexpr int kMaxSide = 16384;  // larger than any screen; keeps sizes in 32 bits
constexpr uint64_t kMaxSeed = 0x7fffffffffffffffULL;

std::unique_ptr<uint8_t[]> surface;      // RGBA, world size, top row first
std::unique_ptr<uint8_t[]> tile_dirty;   // one flag per tile
std::unique_ptr<int32_t[]> dirty_rects;  // x, y, w, h per rectangle
int surface_w = 0;
int surface_h = 0;
int tiles_x = 0;
int tiles_y = 0;
int n_dirty_rects = 0;
uint64_t start_seed = 0;
char message[160] = "";
char seed_text[24] = "";
char text[2048] = "";

void FillSurface(RGB_888 c) {
    const size_t n = static_cast<size_t>(surface_w) * static_cast<size_t>(surface_h);
    for (size_t i = 0; i < n; ++i) {
        uint8_t* p = surface.get() + i * 4;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = 255;
    }
}

// Paints the trails of the last update, as DisplayPaths draws them: bot after
// bot, step after step, so a later point on the same cell wins.
void PaintTrails() {
    for (unsigned long b = 0; b < biotope.n_bots; ++b) {
        const Bot& bot = biotope.bots[b];
        for (unsigned long i = 0; i < bot.path_steps; ++i) {
            const Point2i at = bot.path_xy[i];
            if (at.x < 0 || at.x >= surface_w || at.y < 0 || at.y >= surface_h) continue;
            const int row = surface_h - 1 - at.y;  // the world's row 0 is the bottom one
            uint8_t* p = surface.get() + (static_cast<size_t>(row) * surface_w + at.x) * 4;
            p[0] = bot.path_rgb[i].r;
            p[1] = bot.path_rgb[i].g;
            p[2] = bot.path_rgb[i].b;
            tile_dirty[(row / kTile) * tiles_x + at.x / kTile] = 1;
        }
    }
}

// Turns the dirty tiles into rectangles, one per run of dirty tiles in a tile
// row, and clears the flags.
void CollectDirtyRects() {
    n_dirty_rects = 0;
    for (int ty = 0; ty < tiles_y; ++ty) {
        for (int tx = 0; tx < tiles_x;) {
            if (!tile_dirty[ty * tiles_x + tx]) {
                ++tx;
                continue;
            }
            const int first = tx;
            while (tx < tiles_x && tile_dirty[ty * tiles_x + tx])
                tile_dirty[ty * tiles_x + tx++] = 0;
            int32_t* r = dirty_rects.get() + n_dirty_rects++ * 4;
            r[0] = first * kTile;
            r[1] = ty * kTile;
            r[2] = (tx * kTile < surface_w ? tx * kTile : surface_w) - r[0];
            r[3] = ((ty + 1) * kTile < surface_h ? (ty + 1) * kTile : surface_h) - r[1];
        }
    }
}

// Digits only, at most kMaxSeed; an empty text means "not given".
bool ParseSeed(const char* s, uint64_t* out) {
    if (s == nullptr || *s == '\0') return false;
    uint64_t v = 0;
    for (; *s != '\0'; ++s) {
        if (*s < '0' || *s > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(*s - '0');
        if (v > (kMaxSeed - digit) / 10) return false;
        v = v * 10 + digit;
    }
    *out = v;
    return true;
}

// The clock in milliseconds, read by the page's JavaScript: the C library's
// time_t is 32 bits here and would end in 2038.
EM_JS(double, ClockMilliseconds, (), { return Date.now(); });

bool Fail(const char* why) {
    std::snprintf(message, sizeof message, "%s", why);
    return false;
}

bool AllocatePicture(int w, int h) {
    surface_w = w;
    surface_h = h;
    tiles_x = (w + kTile - 1) / kTile;
    tiles_y = (h + kTile - 1) / kTile;
    const size_t tiles = static_cast<size_t>(tiles_x) * static_cast<size_t>(tiles_y);
    surface.reset(new (std::nothrow) uint8_t[static_cast<size_t>(w) * h * 4]);
    tile_dirty.reset(new (std::nothrow) uint8_t[tiles]());
    dirty_rects.reset(new (std::nothrow) int32_t[tiles * 4]);
    n_dirty_rects = 0;
    return surface && tile_dirty && dirty_rects;
}

}  // namespace

extern "C" {

// Builds a world of width x height. preset -1 and an empty seed_digits take the
// community and the seed from the clock as the saver does; a seed alone picks
// the community seed mod 10, as the saver would at that clock reading. The
// clock is read once, in 64 bits, so the run can be named by its seed. False,
// with lumivor_message() saying why, when the arguments or the memory fail.
EMSCRIPTEN_KEEPALIVE int lumivor_start(int width, int height, int preset, const char* seed_digits) {
    message[0] = '\0';
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return Fail("the size must be 1..16384 on each side");
    if (preset < -1 || preset >= kCommunityCount) return Fail("the community must be 0..9");
    uint64_t seed = 0;
    if (seed_digits != nullptr && *seed_digits != '\0') {
        if (!ParseSeed(seed_digits, &seed))
            return Fail("the seed must be a clock reading 0..9223372036854775807");
    } else {
        seed = static_cast<uint64_t>(ClockMilliseconds() / 1000.0);
    }
    // The module's time_t is 32 bits; the generator and the world keep only the
    // low 32 bits of a seed anyway, and the community is chosen here in 64.
    StartRequest request;
    request.fixed_seed = true;
    request.seed = static_cast<std::time_t>(static_cast<uint32_t>(seed));
    request.preset = preset >= 0 ? preset : static_cast<int>(seed % kCommunityCount);
    {
        const FixedStart fixed(request);
        StartWorld(width, height);
    }
    start_seed = seed;
    if (!biotope.HasHabitat()) return Fail("not enough memory for a world of this size");
    if (!AllocatePicture(width, height)) {
        biotope.Destroy();
        return Fail("not enough memory for the picture of this size");
    }
    FillSurface(clear_clr);
    return 1;
}

// One tick of the saver after its first: two updates, each painted.
EMSCRIPTEN_KEEPALIVE void lumivor_tick() {
    if (!surface) return;
    biotope.Update();
    PaintTrails();
    biotope.Update();
    PaintTrails();
    CollectDirtyRects();
}

// The surface after a size change: all clear colour; the world is kept.
EMSCRIPTEN_KEEPALIVE void lumivor_clear_surface() {
    if (!surface) return;
    FillSurface(clear_clr);
    std::memset(tile_dirty.get(), 0, static_cast<size_t>(tiles_x) * tiles_y);
    n_dirty_rects = 0;
}

EMSCRIPTEN_KEEPALIVE uint8_t* lumivor_surface() {
    return surface.get();
}
// The display habitat itself (RGB, row 0 at the bottom), for checking the picture.
EMSCRIPTEN_KEEPALIVE const uint8_t* lumivor_display_habitat() {
    return biotope.rgb_habitat.data;
}
EMSCRIPTEN_KEEPALIVE int lumivor_width() {
    return surface_w;
}
EMSCRIPTEN_KEEPALIVE int lumivor_height() {
    return surface_h;
}
EMSCRIPTEN_KEEPALIVE int lumivor_dirty_count() {
    return n_dirty_rects;
}
EMSCRIPTEN_KEEPALIVE const int32_t* lumivor_dirty_rects() {
    return dirty_rects.get();
}
EMSCRIPTEN_KEEPALIVE int lumivor_preset() {
    return static_cast<int>(curr_comm_i);
}
EMSCRIPTEN_KEEPALIVE const char* lumivor_message() {
    return message;
}

// The clear colour as 0xRRGGBB, for the parts of the canvas outside the world.
EMSCRIPTEN_KEEPALIVE int lumivor_clear_colour() {
    return (clear_clr.r << 16) | (clear_clr.g << 8) | clear_clr.b;
}

EMSCRIPTEN_KEEPALIVE const char* lumivor_seed() {
    std::snprintf(seed_text, sizeof seed_text, "%" PRIu64, start_seed);
    return seed_text;
}

EMSCRIPTEN_KEEPALIVE const char* lumivor_community_name(int n) {
    return n >= 0 && n < kCommunityCount ? community_names[n] : "";
}

// 64-bit FNV-1a over the display habitat's bytes in habitat-file order (top
// row first, RGB), as 16 lowercase hex digits.
EMSCRIPTEN_KEEPALIVE const char* lumivor_digest() {
    uint64_t hash = 0xcbf29ce484222325ULL;
    const Image& img = biotope.rgb_habitat;
    if (biotope.HasHabitat()) {
        const size_t row_bytes = static_cast<size_t>(img.width) * 3;
        for (unsigned long y = img.height; y-- > 0;) {
            const uint8_t* row = img.data + y * row_bytes;
            for (size_t i = 0; i < row_bytes; ++i) hash = (hash ^ row[i]) * 0x100000001b3ULL;
        }
    }
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

// The line the native no-GL render prints with --final-state. Draws the next
// random number, so it ends a run.
EMSCRIPTEN_KEEPALIVE const char* lumivor_final_state() {
    int n = std::snprintf(text, sizeof text, "final n_updates=%lu bots=", biotope.n_updates);
    for (unsigned long b = 0; b < biotope.n_bots && n > 0 && n < static_cast<int>(sizeof text);
         ++b) {
        const Bot& bot = biotope.bots[b];
        n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "%s%d,%d,%ld,%ld",
                           b == 0 ? "" : " ", bot.x, bot.y, bot.value, bot.dir);
    }
    if (n > 0 && n < static_cast<int>(sizeof text))
        std::snprintf(text + n, sizeof text - static_cast<size_t>(n), " next_random=%ld",
                      random_tovi());
    return text;
}

}  // extern "C"
