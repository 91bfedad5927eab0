#include "host/render/headless_gl.h"

#include <EGL/eglext.h>

HeadlessContext::~HeadlessContext() {
    if (display_ == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    eglTerminate(display_);
}

bool HeadlessContext::Create(std::FILE* diag) {
    auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_platform_display)
        display_ =
            get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) {
        display_ = EGL_NO_DISPLAY;
        std::fprintf(diag,
                     "lumivor render: no headless OpenGL (EGL surfaceless platform); "
                     "use --no-gl\n");
        return false;
    }
    const EGLint context_attribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    if (eglBindAPI(EGL_OPENGL_API))
        context_ = eglCreateContext(display_, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, context_attribs);
    if (context_ == EGL_NO_CONTEXT || !MakeCurrent()) {
        std::fprintf(diag, "lumivor render: cannot create an OpenGL context (EGL error 0x%x)\n",
                     static_cast<unsigned>(eglGetError()));
        return false;
    }
    return true;
}

bool HeadlessContext::MakeCurrent() {
    return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
}
