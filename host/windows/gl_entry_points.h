// Windows' opengl32 exports OpenGL 1.1 only; the framebuffer-object calls of the
// shared surface are looked up in the current context's driver instead.
#pragma once

// For the context current now: true when it supports framebuffer objects and
// blits (OpenGL 3.0, or the extensions) and every entry point was found (core
// names, else the EXT ones).
bool LoadFramebufferEntryPoints();
