// The saver on X11: in its own window, in a window given by id, or on the root
// window as an XScreenSaver hack.
#pragma once

#include "host/shared/window_job.h"

// `lumivor [window options]`. Returns the exit status.
int RunWindowHost(const WindowJob& job);
