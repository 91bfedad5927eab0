#include "host/x11/x_window.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstring>

bool x_window_gone = false;
bool x_connection_lost = false;

namespace {

constexpr int kOwnWidth = 1024, kOwnHeight = 768;
int glx_error_base = -1;  // GLX's first error code on this display; -1 before it is known

// GLX reports a drawing request into a destroyed window with errors of its own:
// BadDrawable (2), BadCurrentWindow (5) and BadWindow (12) of the GLX protocol.
bool IsGLXDrawableError(int code) {
    if (glx_error_base < 0) return false;
    const int glx = code - glx_error_base;
    return glx == 2 || glx == 5 || glx == 12;
}

// Errors about a vanished window mean the screen saver replaced it: time to go.
// Errors after that are its echoes (resources made for the window fail too) and
// are not reported; others are reported and survived.
int OnXError(Display* display, XErrorEvent* error) {
    if (x_window_gone) return 0;
    if (error->error_code == BadWindow || error->error_code == BadDrawable ||
        IsGLXDrawableError(error->error_code)) {
        x_window_gone = true;
        return 0;
    }
    char text[160];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "lumivor: X error: %s (request %d.%d)\n", text, error->request_code,
                 error->minor_code);
    return 0;
}

// A broken connection: noted for the run loop, which saves and ends the run.
int OnConnectionLost(Display*) {
    x_connection_lost = true;
    return 0;
}

// Returning lets Xlib go back to its caller instead of exiting the process; every
// later call on the display then returns at once.
void KeepRunningAfterConnectionLoss(Display*, void*) {}

bool HasExtension(const char* list, const char* name) {
    const size_t n = std::strlen(name);
    for (const char* p = list; p && (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

}  // namespace

void InstallXErrorHandlers(Display* display) {
    x_window_gone = x_connection_lost = false;
    int event_base = 0;
    if (!glXQueryExtension(display, &glx_error_base, &event_base)) glx_error_base = -1;
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnConnectionLost);
    XSetIOErrorExitHandler(display, KeepRunningAfterConnectionLoss, nullptr);
}

XWindow::~XWindow() {
    if (x_connection_lost) return;  // nothing to tell a server that has gone
    if (context_) {
        glXMakeCurrent(display_, None, nullptr);
        glXDestroyContext(display_, context_);
    }
    if (own_window_ && win_) XDestroyWindow(display_, win_);
    if (colormap_) XFreeColormap(display_, colormap_);
    if (visual_) XFree(visual_);
    XSync(display_, False);
}

bool XWindow::Adopt(Window w) {
    XWindowAttributes attrs;
    if (!XGetWindowAttributes(display_, w, &attrs)) {
        std::fprintf(diag_, "lumivor: there is no window 0x%lx\n", w);
        return false;
    }
    // An InputOnly window has no pixels: every drawing request would fail.
    if (attrs.c_class == InputOnly) {
        std::fprintf(diag_, "lumivor: window 0x%lx is an InputOnly window: it cannot be drawn in\n",
                     w);
        return false;
    }
    XVisualInfo wanted{};
    wanted.visualid = XVisualIDFromVisual(attrs.visual);
    int count = 0;
    visual_ = XGetVisualInfo(display_, VisualIDMask, &wanted, &count);
    int gl = 0;
    if (!visual_ || count < 1 || glXGetConfig(display_, visual_, GLX_USE_GL, &gl) != 0 || !gl) {
        std::fprintf(diag_, "lumivor: window 0x%lx has no OpenGL visual (visual 0x%lx)\n", w,
                     wanted.visualid);
        return false;
    }
    win_ = w;
    width_ = attrs.width;
    height_ = attrs.height;
    mapped_ = attrs.map_state != IsUnmapped;
    XSelectInput(display_, win_, StructureNotifyMask | ExposureMask);
    return true;
}

bool XWindow::CreateOwn(bool covers_screen) {
    const int screen = DefaultScreen(display_);
    int double_rgb[] = {GLX_RGBA, GLX_RED_SIZE,     8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
                        8,        GLX_DOUBLEBUFFER, None};
    int single_rgb[] = {GLX_RGBA, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
    visual_ = glXChooseVisual(display_, screen, double_rgb);
    if (!visual_) visual_ = glXChooseVisual(display_, screen, single_rgb);
    if (!visual_) {
        std::fprintf(diag_, "lumivor: the display offers no OpenGL visual with 8-bit RGB\n");
        return false;
    }
    const Window root = RootWindow(display_, screen);
    colormap_ = XCreateColormap(display_, root, visual_->visual, AllocNone);
    XSetWindowAttributes attrs{};
    attrs.colormap = colormap_;
    attrs.background_pixel = 0;
    attrs.border_pixel = 0;
    attrs.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask;
    width_ =
        kOwnWidth < DisplayWidth(display_, screen) ? kOwnWidth : DisplayWidth(display_, screen);
    height_ =
        kOwnHeight < DisplayHeight(display_, screen) ? kOwnHeight : DisplayHeight(display_, screen);
    unsigned long mask = CWColormap | CWBackPixel | CWBorderPixel | CWEventMask;
    if (covers_screen) {
        // Over every output of the screen, above every window, with no window
        // manager in between.
        width_ = DisplayWidth(display_, screen);
        height_ = DisplayHeight(display_, screen);
        attrs.override_redirect = True;
        attrs.event_mask |= ButtonPressMask | PointerMotionMask;
        mask |= CWOverrideRedirect;
        covers_screen_ = true;
    }
    win_ = XCreateWindow(display_, root, 0, 0, static_cast<unsigned>(width_),
                         static_cast<unsigned>(height_), 0, visual_->depth, InputOutput,
                         visual_->visual, mask, &attrs);
    if (!win_) {
        std::fprintf(diag_, "lumivor: cannot create a window\n");
        return false;
    }
    own_window_ = true;
    XStoreName(display_, win_, "Lumivor");
    XClassHint class_hint{const_cast<char*>("lumivor"), const_cast<char*>("Lumivor")};
    XSetClassHint(display_, win_, &class_hint);
    wm_delete_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, win_, &wm_delete_, 1);
    XMapWindow(display_, win_);
    mapped_ = false;  // until MapNotify
    return true;
}

OpenResult XWindow::Open(const WindowJob& job) {
    bool ok = false;
    if (job.have_window_id) {
        ok = Adopt(static_cast<Window>(job.window_id));
    } else if (job.root || job.wallpaper) {  // no key or button of its own ends it
        ok = Adopt(RootWindow(display_, DefaultScreen(display_)));
    } else {
        ok = CreateOwn(job.covers_screen);
    }
    if (!ok) return OpenResult::kFailed;

    context_ = glXCreateContext(display_, visual_, nullptr, True);
    if (!context_) context_ = glXCreateContext(display_, visual_, nullptr, False);
    const bool current = context_ && glXMakeCurrent(display_, win_, context_);
    XSync(display_, False);  // errors about the window arrive now, not later
    if (XWindowLost()) return OpenResult::kGone;
    if (!current) {
        std::fprintf(diag_, "lumivor: cannot create an OpenGL context for window 0x%lx\n", win_);
        return OpenResult::kFailed;
    }
    int double_buffered = 0;
    glXGetConfig(display_, visual_, GLX_DOUBLEBUFFER, &double_buffered);
    double_buffered_ = double_buffered != 0;
    if (double_buffered_) AskForVsync();
    software_renderer_ = AskIfSoftware();
    XSync(display_, False);
    return XWindowLost() ? OpenResult::kGone : OpenResult::kOpened;
}

// Swap at most once per display refresh where the driver can wait for it.
void XWindow::AskForVsync() {
    const char* extensions = glXQueryExtensionsString(display_, DefaultScreen(display_));
    if (HasExtension(extensions, "GLX_EXT_swap_control")) {
        auto swap_interval = reinterpret_cast<void (*)(Display*, GLXDrawable, int)>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT")));
        if (swap_interval) {
            swap_interval(display_, win_, 1);
            vsync_ = true;
        }
    } else if (HasExtension(extensions, "GLX_MESA_swap_control")) {
        auto swap_interval = reinterpret_cast<int (*)(unsigned)>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA")));
        vsync_ = swap_interval && swap_interval(1) == 0;
    }
}

bool XWindow::AskIfSoftware() {
    const char* extensions = glXQueryExtensionsString(display_, DefaultScreen(display_));
    if (!HasExtension(extensions, "GLX_MESA_query_renderer")) return false;
    auto query = reinterpret_cast<Bool (*)(int, unsigned*)>(glXGetProcAddressARB(
        reinterpret_cast<const GLubyte*>("glXQueryCurrentRendererIntegerMESA")));
    unsigned accelerated = 1;
    return query && query(GLX_RENDERER_ACCELERATED_MESA, &accelerated) && !accelerated;
}

void XWindow::GrabInput() {
    // Input meant for the windows below comes here instead; a grab that fails
    // (another client holds one) leaves the input that reaches the window.
    XGrabKeyboard(display_, win_, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XGrabPointer(display_, win_, False, ButtonPressMask | PointerMotionMask, GrabModeAsync,
                 GrabModeAsync, None, None, CurrentTime);
    Window root = 0, child = 0;
    int win_x = 0, win_y = 0;
    unsigned buttons = 0;
    if (!XQueryPointer(display_, win_, &root, &child, &pointer_x_, &pointer_y_, &win_x, &win_y,
                       &buttons))
        pointer_x_ = pointer_y_ = -1;
}

void XWindow::ReleaseContext() {
    if (!context_ || x_connection_lost) return;
    glXMakeCurrent(display_, None, nullptr);
    glXDestroyContext(display_, context_);
    context_ = nullptr;
    vsync_ = false;  // no swaps any more to pace the presents
}

WindowEvents XWindow::HandleEvents() {
    WindowEvents seen;
    while (!x_connection_lost && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        switch (event.type) {
            case ConfigureNotify:
                if (event.xconfigure.window == win_ &&
                    (event.xconfigure.width != width_ || event.xconfigure.height != height_)) {
                    width_ = event.xconfigure.width;
                    height_ = event.xconfigure.height;
                    seen.resized = true;
                }
                break;
            case Expose:
                if (event.xexpose.count == 0) seen.exposed = true;
                break;
            case MapNotify:
                if (event.xmap.window == win_ && !mapped_) {
                    mapped_ = true;
                    seen.shown = true;
                    if (covers_screen_) GrabInput();
                }
                break;
            case UnmapNotify:
                if (event.xunmap.window == win_) mapped_ = false;
                break;
            case DestroyNotify:
                if (event.xdestroywindow.window == win_) x_window_gone = true;
                break;
            case KeyPress: {
                char text[8] = {};
                KeySym key = NoSymbol;
                XLookupString(&event.xkey, text, sizeof text, &key, nullptr);
                if (covers_screen_ || key == XK_Escape || key == XK_q || key == XK_Q)
                    seen.quit_asked = true;
                break;
            }
            case ButtonPress:
                seen.quit_asked = seen.quit_asked || covers_screen_;
                break;
            case MotionNotify:
                // A motion report where the pointer stands still (a window mapped
                // under it) is no input.
                if (covers_screen_ &&
                    (event.xmotion.x_root != pointer_x_ || event.xmotion.y_root != pointer_y_))
                    seen.quit_asked = true;
                break;
            case ClientMessage:
                if (own_window_ && static_cast<Atom>(event.xclient.data.l[0]) == wm_delete_)
                    seen.quit_asked = true;
                break;
            default:
                break;
        }
    }
    return seen;
}

bool XWindow::MakeCurrent() {
    if (!context_) return false;
    return glXGetCurrentContext() == context_ || glXMakeCurrent(display_, win_, context_) == True;
}

void XWindow::Show() {
    if (double_buffered_)
        glXSwapBuffers(display_, win_);
    else
        glFlush();
}
