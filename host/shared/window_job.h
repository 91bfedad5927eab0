// What `lumivor` in a window asks a window host (X11, Wayland, Windows) to do.
// Filled by the option table.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "saver/saver.h"
#include "saver/tick_clock.h"

// Whether environment variable `name` is set and not empty: how DISPLAY and
// WAYLAND_DISPLAY say which desktop the session runs.
inline bool IsEnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The pace of --wallpaper unless --ticks-per-second says otherwise: the same
// pictures as the saver's, slower, so that a desktop background costs next to
// nothing of a core.
constexpr int kWallpaperTicksPerSecond = 8;

// How the window host shows its picture. kAuto: only the changed parts where the
// renderer is software and the driver can present a part of the back buffer, else
// the whole surface; kFull: always the whole surface; kParts: the changed parts
// wherever the driver can.
enum class PresentChoice { kAuto, kFull, kParts };

// Whether a host paints the trails into pixels of its own instead of drawing
// them through OpenGL: where the job asks for it, or by default where OpenGL is
// software; never where the surface's pixels do not suit the painter.
inline bool PaintsPixels(PresentChoice choice, bool pixels_suit, bool software_gl) {
    if (choice == PresentChoice::kFull || !pixels_suit) return false;
    return choice == PresentChoice::kParts || software_gl;
}

struct WindowJob {
    RunStart start;               // the clock reading and community each start uses
    bool root = false;            // the screen saver's window, else the root window
    bool have_window_id = false;  // draw into window_id (wins over root)
    unsigned long window_id = 0;  // an X window id
    std::string display_name;     // the X display; empty: $DISPLAY
    bool in_window = false;       // on Wayland, a window instead of every output
    bool wallpaper = false;       // the desktop's background: input never ends it
    bool covers_screen = false;   // on X11, a window over the whole screen that any input ends
    int ticks_per_second = kTicksPerSecond;  // the pace, 1..kTicksPerSecond
    bool fps = false;                        // report ticks per second and CPU share
    unsigned long ticks = 0;                 // stop after this many ticks; 0: run until stopped
    std::string habitat_path;                // save rgb_habitat here at exit ("-": standard output)
    std::FILE* diag = stderr;                // the tool's own messages
    PresentChoice present = PresentChoice::kAuto;
};
