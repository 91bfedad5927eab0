// The browser host: the saver compiled to WebAssembly, driven by the page's
// script through the C functions below. The page owns the canvas and reads the
// time on its animation frames; the module owns the run: its rhythm (the shared
// TickClock says how many ticks are due), its start, its cadence (the shared
// Saver: the first tick after a start or a size change only clears) and its
// picture.
//
// The picture is the saver's persistent surface at the world's size, as RGBA
// bytes, top row first (the order a 2D canvas takes), painted by the shared
// PixelTrails exactly where the saver draws the trails. After each tick the
// rectangles of the tiles it changed are listed, so the page uploads only those.

#include <emscripten/emscripten.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/shared/options.h"
#include "host/shared/pixel_trails.h"
#include "saver/saver.h"
#include "saver/tick_clock.h"
#include "world/community.h"

namespace {

// Bytes R, G, B, A in memory (the module is little-endian), alpha opaque.
constexpr PixelFormat kRGBA{0, 8, 16, 0xff000000u, false};
constexpr int kTile = 32;  // side of a changed tile: measured best of 16, 32 and 64 at 3840x2160
static_assert(sizeof(PixelRect) == 4 * sizeof(int32_t), "the page reads x, y, w, h as 4 int32");

// The page's parameters and what they are named as options of `lumivor render`.
const char* const kParameters[] = {"preset", "seed", "size", "ticks"};

// The painter, also telling whether a tick only cleared: the page then paints
// the clear colour on the canvas around the world as well.
class CanvasTrails : public PixelTrails {
  public:
    bool cleared = false;
    void Clear(RGB_888 colour) override {
        PixelTrails::Clear(colour);
        cleared = true;
    }
};

Saver saver;
TickClock tick_clock;                // the page's rhythm, on its animation frames' time
bool seed_given = false;             // false: each start reads the clock
std::vector<std::string> words;      // the address's parameters as option words
std::string query_error;             // why a parameter was refused as it was given
int32_t check_run[3] = {0, 0, 0};    // width, height and ticks of the check mode; 0 ticks: none
std::unique_ptr<uint8_t[]> picture;  // RGBA, world size, top row first
CanvasTrails trails;
const PixelRect* changed = nullptr;  // the last tick's changed rectangles
int changed_count = 0;
char message[256] = "";
char seed_text[24] = "";
char text[2048] = "";

// The clock in seconds, read by the page's JavaScript: the C library's time_t
// is 32 bits here and would end in 2038.
EM_JS(double, ClockMilliseconds, (), { return Date.now(); });

// The page's times are milliseconds (fractions included) since it loaded.
long long Nanoseconds(double milliseconds) {
    return static_cast<long long>(milliseconds * 1e6);
}

int Fail(const std::string& why) {
    std::snprintf(message, sizeof message, "%s", why.c_str());
    return 0;
}

}  // namespace

extern "C" {

// One parameter of the page's address, in the order given. False, with
// lumivor_message() saying why, for a name the page does not take.
EMSCRIPTEN_KEEPALIVE int lumivor_query_parameter(const char* name, const char* value) {
    for (const char* known : kParameters) {
        if (std::strcmp(name, known) != 0) continue;
        words.push_back(std::string("--") + name);
        words.push_back(value);
        return 1;
    }
    if (query_error.empty()) query_error = std::string("unknown parameter '") + name + "'";
    return Fail(query_error);
}

// Reads the parameters given since the last call with the command line's own
// option table, as the render the check mode reproduces (`lumivor render
// --no-gl --final-state`), so that the page accepts and refuses exactly what
// the command line does, with its messages: a parameter given twice is an
// option given twice. With size or ticks the page is in check mode, the
// render's defaults standing for the one not given. False, with
// lumivor_message() saying why, when the command line would refuse them.
EMSCRIPTEN_KEEPALIVE int lumivor_read_query() {
    message[0] = '\0';
    std::string refused;
    refused.swap(query_error);
    if (!refused.empty()) {
        words.clear();
        return Fail(refused);
    }
    std::vector<std::string> argv_words = {"render", "--no-gl", "--final-state"};
    bool check = false;
    for (size_t i = 0; i < words.size(); i += 2)
        check = check || words[i] == "--size" || words[i] == "--ticks";
    argv_words.insert(argv_words.end(), words.begin(), words.end());
    words.clear();
    std::vector<char*> argv;
    for (std::string& w : argv_words) argv.push_back(w.data());
    RenderArgs args;
    std::string error;
    if (!ParseRenderArgs(static_cast<int>(argv.size()), argv.data(), &args, &error))
        return Fail(error);
    saver.start = args.job.start;
    seed_given = args.seed_given;
    check_run[0] = check ? args.job.width : 0;
    check_run[1] = check ? args.job.height : 0;
    check_run[2] = check ? static_cast<int32_t>(args.job.ticks) : 0;
    return 1;
}

// The check mode's width, height and ticks; 0 ticks: the address asks for the saver.
EMSCRIPTEN_KEEPALIVE const int32_t* lumivor_check_run() {
    return check_run;
}

// Builds a world of width x height with the address's community and seed (by
// default the clock's reading, read once in 64 bits). False, with
// lumivor_message() saying why, when the size or the memory fail.
EMSCRIPTEN_KEEPALIVE int lumivor_start(int width, int height) {
    message[0] = '\0';
    trails.Detach();
    picture.reset();
    changed_count = 0;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return Fail("a world must be 1.." + std::to_string(kMaxSide) + " pixels on each side");
    if (!seed_given)
        saver.start.clock = StartClock::Fixed(static_cast<int64_t>(ClockMilliseconds() / 1000.0));
    if (!saver.Start(width, height) || !biotope.HasHabitat())
        return Fail("not enough memory for a world of this size");
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
    if (bytes <= SIZE_MAX) picture.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
    if (!picture) {
        biotope.Destroy();
        return Fail("not enough memory for the picture of this size");
    }
    // Without memory for the tile grid every change is the whole picture: slower, still right.
    trails.Attach(picture.get(), width, height, width * 4, kRGBA, kTile);
    return 1;
}

// One tick of the saver: 1 when it only cleared the picture (the first tick
// after a start or lumivor_surface_changed), 0 when it ran its two updates
// (or there is no world).
EMSCRIPTEN_KEEPALIVE int lumivor_tick() {
    if (!picture) return 0;
    trails.cleared = false;
    saver.Tick(trails);
    changed_count = trails.damage.Take(&changed);
    return trails.cleared ? 1 : 0;
}

// The page's ticks start again at `now_ms` (its first frame, or its return
// from hidden): the first is due now, with no backlog.
EMSCRIPTEN_KEEPALIVE void lumivor_clock_restart(double now_ms) {
    tick_clock.Restart(Nanoseconds(now_ms));
}

// The ticks the page runs on its frame at `now_ms`: those due, a late frame
// catching up a few and dropping the rest.
EMSCRIPTEN_KEEPALIVE int lumivor_ticks_due(double now_ms) {
    return tick_clock.TakeDue(Nanoseconds(now_ms));
}

// The canvas changed its size: the next tick clears the picture; the world
// goes on at the size it was built with.
EMSCRIPTEN_KEEPALIVE void lumivor_surface_changed() {
    saver.SurfaceChanged();
}

EMSCRIPTEN_KEEPALIVE uint8_t* lumivor_picture() {
    return picture.get();
}
// The display habitat itself (RGB, row 0 at the bottom), for checking the picture.
EMSCRIPTEN_KEEPALIVE const uint8_t* lumivor_display_habitat() {
    return biotope.rgb_habitat.data;
}
// The last tick's changed rectangles: x, y, width, height each, top row 0.
EMSCRIPTEN_KEEPALIVE int lumivor_changed_count() {
    return changed_count;
}
EMSCRIPTEN_KEEPALIVE const PixelRect* lumivor_changed_rects() {
    return changed;
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
    std::snprintf(seed_text, sizeof seed_text, "%" PRId64, saver.start.clock.reading);
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

// The line the native no-GL render prints with --final-state; ends a run.
EMSCRIPTEN_KEEPALIVE const char* lumivor_final_state() {
    if (FormatFinalState(text, sizeof text) < 0) text[0] = '\0';
    return text;
}

}  // extern "C"
