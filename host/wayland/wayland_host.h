// The saver on Wayland: over every output until a key, a button or the pointer
// moves (as an idle daemon starts it), or in an ordinary window (--window).
#pragma once

#include "host/shared/window_job.h"

// `lumivor --wayland [options]`. Returns the exit status.
int RunWaylandHost(const WindowJob& job);
