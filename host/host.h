// Entry points of the hosts that run the saver outside the world's own code:
// the X11 window / screen-saver hack and the headless OpenGL renderer.
#pragma once

#include <cstdio>

#include "host/render_job.h"

// `lumivor [window options]`: the saver in its own window, in a given window or on
// the root window. argv[0] is the program name. Returns the exit status.
int RunWindowHost(int argc, char** argv, std::FILE* diag);

// `lumivor render` with OpenGL: runs the saver on a headless surface. Returns the exit status.
int RenderWithGL(const RenderJob& job);
