// A headless OpenGL surface for drawing tests: the host's EGL surfaceless context with
// its framebuffer-object surface as the drawing target, read back as RGB bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "host/shared/fbo_surface.h"

class TestGLSurface {
  public:
    int width = 0, height = 0;

    // Makes the process-wide compatibility context current (created on first use) and
    // binds a new w x h RGBA8 framebuffer object as the persistent surface. Sets the
    // viewport, projection glOrtho(0,w,0,h,-1,1) and an identity modelview. Does not clear
    // (a new framebuffer object starts black). Returns false with a message on stderr
    // when EGL or OpenGL is unavailable.
    bool Create(int w, int h);
    // width*height*3 bytes, rows tightly packed, row 0 = bottom row.
    std::vector<uint8_t> ReadRGB() const;
    // Releases the framebuffer object; the context stays for the process.
    ~TestGLSurface();

    TestGLSurface() = default;
    TestGLSurface(const TestGLSurface&) = delete;
    TestGLSurface& operator=(const TestGLSurface&) = delete;

  private:
    static bool MakeContextCurrent();
    FramebufferSurface surface_{&TestGLSurface::MakeContextCurrent};
};
