#include "host/shared/fbo_surface.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

void FramebufferSurface::SetFrameSize(int w, int h) {
    wanted_w_ = w > 0 ? w : 0;
    wanted_h_ = h > 0 ? h : 0;
    failed_ = false;
}

void FramebufferSurface::MakeCurrent() {
    if (!make_current_ || !make_current_()) return;
    if (!failed_ && (wanted_w_ != width || wanted_h_ != height)) {
        Release();
        // A size that cannot be had is not asked for again until the size changes.
        if (wanted_w_ > 0 && wanted_h_ > 0 && !Allocate(wanted_w_, wanted_h_)) {
            Release();
            failed_ = true;
        }
    }
    // Without a framebuffer object (empty size) nothing is bound that could be drawn on.
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
}

bool FramebufferSurface::Allocate(int w, int h) {
    while (glGetError() != GL_NO_ERROR) {
    }
    glGenRenderbuffers(1, &colour_rb_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_rb_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glGenFramebuffers(1, &fbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_rb_);
    if (glGetError() != GL_NO_ERROR ||
        glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(diag, "lumivor: cannot create a %dx%d OpenGL drawing surface\n", w, h);
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    width = w;
    height = h;
    // A new renderbuffer holds undefined pixels; start from black.
    glClearColor(0.f, 0.f, 0.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
    return true;
}

void FramebufferSurface::Release() {
    if (fbo_ || colour_rb_) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &fbo_);
        glDeleteRenderbuffers(1, &colour_rb_);
    }
    fbo_ = colour_rb_ = 0;
    width = height = 0;
}

void FramebufferSurface::CopyTo(unsigned target, int target_w, int target_h) {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    if (target_w != width || target_h != height) {
        // Show black where the picture does not reach.
        glClearColor(0.f, 0.f, 0.f, 1.f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (fbo_) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
        const int w = width < target_w ? width : target_w;
        const int h = height < target_h ? height : target_h;
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
}

void FramebufferSurface::ReadRGB(uint8_t* rgb) const {
    if (!fbo_) return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
}
