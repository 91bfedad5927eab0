// The saver in a window on Windows: full screen over the virtual desktop, or a
// live preview inside a window of the system's settings dialog.
#pragma once

#include <cstdint>

#include "host/shared/window_job.h"

// Runs the saver until it is ended: full screen, or as a preview inside the
// window `preview_parent` when that is not 0. job.ticks: the ticks after which
// the picture is held; job.present: kFull draws through OpenGL, kParts paints
// with GDI, kAuto chooses GDI where OpenGL is software. Returns the exit status.
int RunSaverWindow(const WindowJob& job, std::uintptr_t preview_parent);
