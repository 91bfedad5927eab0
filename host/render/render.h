// The headless renders: the saver run without a window into files.
#pragma once

#include "host/shared/render_job.h"

// `lumivor render --no-gl`: the world alone, no OpenGL. Always built. Returns the exit status.
int RenderWithoutGL(const RenderJob& job);

// `lumivor render` with OpenGL: runs the saver on a headless surface. Returns the exit status.
int RenderWithGL(const RenderJob& job);
