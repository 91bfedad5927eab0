// The options of both commands, `lumivor` (window) and `lumivor render`, in one
// table: name, argument, help text and handler. Parsing has no side effects;
// the help texts are printed from the same table.
#pragma once

#include <cstdio>
#include <string>

#include "host/render/render_job.h"
#include "host/x11/window_job.h"
#include "world/habitat_reader.h"

constexpr int kMaxSide = kMaxHabitatSide;      // largest surface side `render` accepts
constexpr long long kMaxTicks = 1000000000LL;  // largest tick count either command accepts
constexpr double kTicksPerMinute = 4500.0;     // 75 ticks a second

enum Command : unsigned { kWindowCommand = 1, kRenderCommand = 2 };

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
    bool window = false;   // --window: on Wayland, a window instead of every output
    bool wayland = false;  // --wayland
    bool x11 = false;      // --x11
};

// Parse argv[1..argc-1] (argv[0] is "render" or the program). False with a
// one-line reason in `error` for a usage error.
bool ParseRenderArgs(int argc, char** argv, RenderArgs* args, std::string* error);
bool ParseWindowArgs(int argc, char** argv, WindowArgs* args, std::string* error);

// The option list of one command, one option a line (longer help on indented lines).
void PrintOptions(Command command, std::FILE* out);

// The whole text must be a number in base `base` (0: decimal, or 0x hex) from min to max.
bool ParseInteger(const char* text, int base, long long min, long long max, long long* out);
