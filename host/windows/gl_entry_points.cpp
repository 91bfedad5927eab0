// Definitions of the framebuffer-object functions the shared surface calls,
// forwarding to the driver's entry points. opengl32 exports none of them; the
// driver hands them out per context through wglGetProcAddress.
#include "host/windows/gl_entry_points.h"

#include <windows.h>
// windows.h first: gl.h needs its calling-convention macros.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

PFNGLBINDFRAMEBUFFERPROC bind_framebuffer = nullptr;
PFNGLBINDRENDERBUFFERPROC bind_renderbuffer = nullptr;
PFNGLBLITFRAMEBUFFERPROC blit_framebuffer = nullptr;
PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status = nullptr;
PFNGLDELETEFRAMEBUFFERSPROC delete_framebuffers = nullptr;
PFNGLDELETERENDERBUFFERSPROC delete_renderbuffers = nullptr;
PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer = nullptr;
PFNGLGENFRAMEBUFFERSPROC gen_framebuffers = nullptr;
PFNGLGENRENDERBUFFERSPROC gen_renderbuffers = nullptr;
PFNGLRENDERBUFFERSTORAGEPROC renderbuffer_storage = nullptr;

// Some drivers answer a failed lookup with small integers instead of null.
PROC Lookup(const char* core_name, const char* ext_name) {
    for (const char* name : {core_name, ext_name}) {
        const PROC p = wglGetProcAddress(name);
        const auto value = reinterpret_cast<INT_PTR>(p);
        if (value != 0 && value != 1 && value != 2 && value != 3 && value != -1) return p;
    }
    return nullptr;
}

bool HasWord(const char* list, const char* word) {
    const size_t n = std::strlen(word);
    for (const char* p = list; p != nullptr && (p = std::strstr(p, word)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

// Some drivers hand out entry points for functions they do not support: the
// version or the extensions decide.
bool HasFramebufferObjects() {
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version != nullptr && std::atoi(version) >= 3) return true;
    const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return HasWord(extensions, "GL_ARB_framebuffer_object") ||
           (HasWord(extensions, "GL_EXT_framebuffer_object") &&
            HasWord(extensions, "GL_EXT_framebuffer_blit"));
}

template <typename F>
bool Load(F* out, const char* core_name, const char* ext_name) {
    *out = reinterpret_cast<F>(reinterpret_cast<void*>(Lookup(core_name, ext_name)));
    return *out != nullptr;
}

}  // namespace

bool LoadFramebufferEntryPoints() {
    if (!HasFramebufferObjects()) return false;
    // The EXT functions take the same enum values as the core ones for every
    // call made here (GL_FRAMEBUFFER, GL_READ/DRAW_FRAMEBUFFER, GL_RENDERBUFFER).
    bool ok = Load(&bind_framebuffer, "glBindFramebuffer", "glBindFramebufferEXT");
    ok = Load(&bind_renderbuffer, "glBindRenderbuffer", "glBindRenderbufferEXT") && ok;
    ok = Load(&blit_framebuffer, "glBlitFramebuffer", "glBlitFramebufferEXT") && ok;
    ok = Load(&check_framebuffer_status, "glCheckFramebufferStatus",
              "glCheckFramebufferStatusEXT") &&
         ok;
    ok = Load(&delete_framebuffers, "glDeleteFramebuffers", "glDeleteFramebuffersEXT") && ok;
    ok = Load(&delete_renderbuffers, "glDeleteRenderbuffers", "glDeleteRenderbuffersEXT") && ok;
    ok = Load(&framebuffer_renderbuffer, "glFramebufferRenderbuffer",
              "glFramebufferRenderbufferEXT") &&
         ok;
    ok = Load(&gen_framebuffers, "glGenFramebuffers", "glGenFramebuffersEXT") && ok;
    ok = Load(&gen_renderbuffers, "glGenRenderbuffers", "glGenRenderbuffersEXT") && ok;
    ok = Load(&renderbuffer_storage, "glRenderbufferStorage", "glRenderbufferStorageEXT") && ok;
    return ok;
}

// Called only after LoadFramebufferEntryPoints succeeded for the current context.
extern "C" {
void APIENTRY glBindFramebuffer(GLenum target, GLuint framebuffer) {
    bind_framebuffer(target, framebuffer);
}
void APIENTRY glBindRenderbuffer(GLenum target, GLuint renderbuffer) {
    bind_renderbuffer(target, renderbuffer);
}
void APIENTRY glBlitFramebuffer(GLint sx0, GLint sy0, GLint sx1, GLint sy1, GLint dx0, GLint dy0,
                                GLint dx1, GLint dy1, GLbitfield mask, GLenum filter) {
    blit_framebuffer(sx0, sy0, sx1, sy1, dx0, dy0, dx1, dy1, mask, filter);
}
GLenum APIENTRY glCheckFramebufferStatus(GLenum target) {
    return check_framebuffer_status(target);
}
void APIENTRY glDeleteFramebuffers(GLsizei n, const GLuint* framebuffers) {
    delete_framebuffers(n, framebuffers);
}
void APIENTRY glDeleteRenderbuffers(GLsizei n, const GLuint* renderbuffers) {
    delete_renderbuffers(n, renderbuffers);
}
void APIENTRY glFramebufferRenderbuffer(GLenum target, GLenum attachment, GLenum rb_target,
                                        GLuint renderbuffer) {
    framebuffer_renderbuffer(target, attachment, rb_target, renderbuffer);
}
void APIENTRY glGenFramebuffers(GLsizei n, GLuint* framebuffers) {
    gen_framebuffers(n, framebuffers);
}
void APIENTRY glGenRenderbuffers(GLsizei n, GLuint* renderbuffers) {
    gen_renderbuffers(n, renderbuffers);
}
void APIENTRY glRenderbufferStorage(GLenum target, GLenum format, GLsizei width, GLsizei height) {
    renderbuffer_storage(target, format, width, height);
}
}
