// The saver on Wayland: over every output until a key, a button or the pointer
// moves (as an idle daemon starts it), or in an ordinary window.
#pragma once

#include <cstdio>
#include <string>

#include "saver/saver.h"

struct WaylandJob {
    RunStart start;            // the clock reading and community each start uses
    bool window = false;       // a window instead of covering every output
    bool fps = false;          // report ticks per second and CPU share
    unsigned long ticks = 0;   // ticks to run before the picture is held; 0: run on
    std::string habitat_path;  // save rgb_habitat here at exit ("-": standard output)
    std::FILE* diag = stderr;  // the tool's own messages
};

// `lumivor --wayland [options]`. Returns the exit status.
int RunWaylandHost(const WaylandJob& job);
