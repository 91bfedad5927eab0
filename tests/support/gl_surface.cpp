#include "tests/support/gl_surface.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

#include "host/render/headless_gl.h"

bool TestGLSurface::MakeContextCurrent() {
    // One context for the whole process, never torn down: tests create and drop
    // surfaces freely on it, and a failed attempt is not repeated.
    static HeadlessContext* const context = []() -> HeadlessContext* {
        // Mesa's software renderer, whatever else is installed.
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/usr/share/glvnd/egl_vendor.d/50_mesa.json", 0);
        auto* c = new HeadlessContext;
        if (c->Create(stderr)) return c;
        delete c;
        return nullptr;
    }();
    return context && context->MakeCurrent();
}

bool TestGLSurface::Create(int w, int h) {
    if (!MakeContextCurrent()) return false;
    surface_.Release();  // a new framebuffer object even at the same size
    surface_.SetFrameSize(w, h);
    surface_.MakeCurrent();
    width = surface_.width;
    height = surface_.height;
    if (width != w || height != h) return false;  // reported by the surface
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return true;
}

std::vector<uint8_t> TestGLSurface::ReadRGB() const {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    if (!rgb.empty()) surface_.ReadRGB(rgb.data());
    return rgb;
}

TestGLSurface::~TestGLSurface() = default;  // the surface releases its framebuffer object
