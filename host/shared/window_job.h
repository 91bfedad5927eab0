// What `lumivor` in a window asks the window host to do. Filled by the command line.
#pragma once

#include <cstdio>
#include <string>

#include "saver/saver.h"

// How the window host shows its picture. kAuto: only the changed parts where the
// renderer is software and the driver can present a part of the back buffer, else
// the whole surface; kFull: always the whole surface; kParts: the changed parts
// wherever the driver can.
enum class PresentChoice { kAuto, kFull, kParts };

struct WindowJob {
    RunStart start;               // the clock reading and community each start uses
    bool root = false;            // the screen saver's window, else the root window
    bool have_window_id = false;  // draw into window_id (wins over root)
    unsigned long window_id = 0;  // an X window id
    std::string display_name;     // the X display; empty: $DISPLAY
    bool fps = false;             // report ticks per second and CPU share
    unsigned long ticks = 0;      // stop after this many ticks; 0: run until stopped
    std::string habitat_path;     // save rgb_habitat here at exit ("-": standard output)
    std::FILE* diag = stderr;     // the tool's own messages
    PresentChoice present = PresentChoice::kAuto;
};
