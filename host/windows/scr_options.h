// The saver's command line on Windows: the system's screen-saver switches
// (/s, /p HWND, /c[:HWND], any case, '/' or '-') and the options for runs
// that must be reproducible (seed, community, tick count, habitat file).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "saver/saver.h"

enum class ScrMode {
    kSettings,    // /c or no switch: the settings dialog
    kFullScreen,  // /s
    kPreview,     // /p HWND: inside the given window
    kHelp,        // --help
};

struct ScrOptions {
    ScrMode mode = ScrMode::kSettings;
    std::uintptr_t window = 0;  // /p: the parent window; /c: the dialog's owner (0: none)
    RunStart start;             // preset -1: the stored setting decides
    bool preset_given = false;
    unsigned long ticks = 0;     // ticks to run before the picture is held; 0: run on
    std::string habitat_path;    // the display habitat is saved here when the saver ends
    bool window_buffer = false;  // draw into the window's own buffer, never a framebuffer object
    bool fps = false;            // report ticks per second and CPU share at the end
    int choose = -2;             // /c: select this entry (-1 clock, 0..9) and confirm at once
};

// Fills *options from argv[1..argc-1]. On a bad argument it writes one line to
// diag and returns false.
bool ParseScrOptions(int argc, const char* const* argv, ScrOptions* options, std::FILE* diag);

extern const char kScrUsage[];
