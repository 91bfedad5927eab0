// Entry points of the hosts that run the saver: the renderers that run it
// without a window into files, and the X11 window / screen-saver hack.
#pragma once

#include "host/render_job.h"
#include "host/window_job.h"

// `lumivor render --no-gl`: the world alone, no OpenGL. Always built. Returns the exit status.
int RenderWithoutGL(const RenderJob& job);

// `lumivor render` with OpenGL: runs the saver on a headless surface. Returns the exit status.
int RenderWithGL(const RenderJob& job);

// `lumivor [window options]`: the saver in its own window, in a given window or on
// the root window. Returns the exit status.
int RunWindowHost(const WindowJob& job);
