#include "tests/support/gl_surface.h"

#define GL_GLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The one context of the process; tests create and drop surfaces freely on it.
bool MakeContextCurrent() {
    static int state = 0;  // 0 untried, 1 ready, -1 failed
    static EGLDisplay display = EGL_NO_DISPLAY;
    static EGLContext context = EGL_NO_CONTEXT;
    if (state == 1)
        return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) == EGL_TRUE;
    if (state == -1) return false;
    state = -1;

    // Mesa's software renderer, whatever else is installed.
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/usr/share/glvnd/egl_vendor.d/50_mesa.json", 0);

    auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!get_platform_display) {
        std::fprintf(stderr, "TestGLSurface: eglGetPlatformDisplayEXT is not available\n");
        return false;
    }
    display = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        std::fprintf(stderr, "TestGLSurface: no EGL surfaceless display (error 0x%x)\n",
                     static_cast<unsigned>(eglGetError()));
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        std::fprintf(stderr, "TestGLSurface: EGL cannot bind the OpenGL API\n");
        return false;
    }
    const EGLint config_attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    // A context without a config is fine too (EGL_KHR_no_config_context).
    if (!eglChooseConfig(display, config_attribs, &config, 1, &count) || count < 1)
        config = nullptr;
    const EGLint context_attribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attribs);
    if (context == EGL_NO_CONTEXT) {
        std::fprintf(stderr, "TestGLSurface: cannot create an OpenGL context (error 0x%x)\n",
                     static_cast<unsigned>(eglGetError()));
        return false;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        std::fprintf(stderr, "TestGLSurface: cannot make the context current (error 0x%x)\n",
                     static_cast<unsigned>(eglGetError()));
        return false;
    }
    state = 1;
    return true;
}

}  // namespace

bool TestGLSurface::Create(int w, int h) {
    if (w <= 0 || h <= 0) {
        std::fprintf(stderr, "TestGLSurface: invalid size %dx%d\n", w, h);
        return false;
    }
    if (!MakeContextCurrent()) return false;
    if (fbo_) {
        glDeleteFramebuffers(1, &fbo_);
        glDeleteRenderbuffers(1, &colour_rb_);
        fbo_ = colour_rb_ = 0;
    }
    glGenRenderbuffers(1, &colour_rb_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_rb_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glGenFramebuffers(1, &fbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_rb_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(stderr, "TestGLSurface: framebuffer of %dx%d is incomplete\n", w, h);
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    width = w;
    height = h;
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return true;
}

void TestGLSurface::Clear(uint8_t r, uint8_t g, uint8_t b) {
    glClearColor(r / 255.f, g / 255.f, b / 255.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
}

std::vector<uint8_t> TestGLSurface::ReadRGB() const {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    if (rgb.empty() || !fbo_) return rgb;
    glFinish();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

TestGLSurface::~TestGLSurface() {
    if (fbo_) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &fbo_);
        glDeleteRenderbuffers(1, &colour_rb_);
    }
}
