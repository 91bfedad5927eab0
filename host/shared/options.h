// The options of every command, `lumivor` (window), `lumivor render` and the
// Windows saver `lumivor.scr`, in one table: name, argument, help text and
// handler. Parsing has no side effects; the help texts are printed from the
// same table.
#pragma once

#include <cstdio>
#include <string>

#include "host/shared/render_job.h"
#include "host/shared/window_job.h"
#include "saver/tick_clock.h"
#include "world/habitat_reader.h"

constexpr int kMaxSide = kMaxHabitatSide;      // largest surface side `render` accepts
constexpr long long kMaxTicks = 1000000000LL;  // largest tick count either command accepts
constexpr double kTicksPerMinute = 60.0 * kTicksPerSecond;

enum Command : unsigned {
    kWindowCommand = 1,
    kRenderCommand = 2,
    kScrCommand = 4,
    kIdleCommand = 8,
};

// `lumivor idle` starts the saver after this much idle time unless --after says otherwise.
constexpr long long kDefaultIdleSeconds = 5 * 60;
constexpr long long kMaxIdleSeconds = 24 * 60 * 60;

struct RenderArgs {
    RenderJob job;
    bool help = false;
    bool quiet = false;
    bool no_gl = false;
    bool seed_given = false;
    bool size_given = false;
};

struct WindowArgs {
    WindowJob job;
    bool help = false;
    bool quiet = false;
    bool wayland = false;  // --wayland
    bool x11 = false;      // --x11
};

// `lumivor idle`: the saver's job for each run it starts (drawn over every
// output, input ends it) and the idle time before each.
struct IdleArgs {
    WindowArgs window;
    long long after_seconds = kDefaultIdleSeconds;
};

// What Windows starts a screen saver for: /c (or no switch), /s or /p.
enum class ScrMode { kSettings, kFullScreen, kPreview };

// The Windows saver: the window command's job (start, --ticks after which the
// picture is held, --habitat, --fps, --draw as its `present`) and the system's switches.
struct ScrArgs {
    WindowArgs window;
    ScrMode mode = ScrMode::kSettings;
    unsigned long long handle =
        0;            // /p: the window to preview in; /c: the dialog's owner (0: none)
    int choose = -2;  // --choose: -1 the clock, 0..9 a community; -2 not given
};

// The drawing a window host uses: --draw's words (auto, opengl, pixels), or
// LUMIVOR_PRESENT's for the same choices (full, parts). False for another word.
bool ParseDrawing(const char* way, PresentChoice* present);

// Parse argv[1..argc-1] (argv[0] is "render" or the program). False with a
// one-line reason in `error` for a usage error.
bool ParseRenderArgs(int argc, char** argv, RenderArgs* args, std::string* error);
bool ParseWindowArgs(int argc, char** argv, WindowArgs* args, std::string* error);
// argv[0] is "idle".
bool ParseIdleArgs(int argc, char** argv, IdleArgs* args, std::string* error);
// The saver's switches are also read as Windows gives them: '/' or '-', any
// case, the window handle after a colon or as the next argument.
bool ParseScrArgs(int argc, char** argv, ScrArgs* args, std::string* error);

// The option list of one command, one option a line (longer help on indented lines).
void PrintOptions(Command command, std::FILE* out);

// The whole text must be a number in base `base` (0: decimal, or 0x hex) from min to max.
bool ParseInteger(const char* text, int base, long long min, long long max, long long* out);
