#pragma once

#include <cstdio>
#include <string>

#include "host/render_job.h"

constexpr int kMaxSide = 32768;             // largest surface side `render` accepts
constexpr double kTicksPerMinute = 4500.0;  // 75 ticks a second

struct RenderArgs {
    RenderJob job;
    bool help = false;
    bool no_gl = false;
    bool seed_given = false;
    bool size_given = false;
};

// Parses the arguments of `lumivor render` (argv[0] is "render") without side
// effects. False with a one-line reason in `error` for a usage error.
bool ParseRenderArgs(int argc, char** argv, RenderArgs* args, std::string* error);

// `lumivor render ...`: argv[0] is "render". Returns the exit status.
int RenderCommand(int argc, char** argv, std::FILE* diag);
