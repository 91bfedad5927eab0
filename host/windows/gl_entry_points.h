// Windows' opengl32 exports OpenGL 1.1 only; the framebuffer-object calls of the
// shared surface are looked up in the current context's driver instead.
#pragma once

// Looks up the framebuffer-object entry points (core names, else the EXT ones)
// for the context current now. True when every one of them is there.
bool LoadFramebufferEntryPoints();
