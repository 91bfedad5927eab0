// An OpenGL compatibility context without any window: EGL on Mesa's surfaceless
// platform. Drawing goes to framebuffer objects (host/fbo_surface.h).
#pragma once

#include <EGL/egl.h>

#include <cstdio>

class HeadlessContext {
  public:
    HeadlessContext() = default;
    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;
    // Releases the context and terminates the display, which every surfaceless context shares.
    ~HeadlessContext();

    // Creates the context and makes it current; returns false with a message on diag.
    bool Create(std::FILE* diag);
    bool MakeCurrent();

  private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
};
