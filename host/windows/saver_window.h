// The saver in a window on Windows: full screen over the virtual desktop, or a
// live preview inside a window of the system's settings dialog.
#pragma once

#include <cstdio>

#include "host/windows/scr_options.h"

// Runs the saver until it is ended; returns the exit status.
int RunSaverWindow(const ScrOptions& options, std::FILE* diag);
