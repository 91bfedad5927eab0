// The X11 side of the window host: the window (its own, one given by id, or the
// screen saver's), a GLX context on the window's own visual, and its events.
#pragma once

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdio>

#include "host/shared/window_job.h"

// Set by Xlib's error handlers and by DestroyNotify; read by the run loop.
// The window went away: the screen saver replaced it, time to go.
extern bool x_window_gone;
// The connection to the X server broke (server gone, client killed).
extern bool x_connection_lost;
// Nothing more can be drawn into the window or asked of it.
inline bool XWindowLost() {
    return x_window_gone || x_connection_lost;
}

// Routes X errors and a lost connection into the flags above instead of
// Xlib's default of printing and exiting at once. Clears the flags: they then
// speak of this display (a process may open one again, as lumivor idle does
// for each run).
void InstallXErrorHandlers(Display* display);

enum class OpenResult {
    kOpened,
    kFailed,  // reported on diag
    kGone,    // the window went away while it was being opened
};

// What HandleEvents saw.
struct WindowEvents {
    bool resized = false;     // width and height changed
    bool shown = false;       // the window was mapped again (or first)
    bool exposed = false;     // the picture must be shown again
    bool quit_asked = false;  // a key or the window manager asked the own window to close,
                              // or any input came to the window over the screen
};

class XWindow {
  public:
    XWindow(Display* display, std::FILE* diag) : display_(display), diag_(diag) {}
    ~XWindow();
    XWindow(const XWindow&) = delete;
    XWindow& operator=(const XWindow&) = delete;

    // Opens or adopts the window the job names and makes a GLX context current on it.
    OpenResult Open(const WindowJob& job);
    // Reads every pending event.
    WindowEvents HandleEvents();
    bool MakeCurrent();
    // Shows what was drawn to the window's buffer: a swap, or a flush when single-buffered.
    void Show();
    bool Pending() { return XPending(display_) > 0; }
    int ConnectionFd() const { return ConnectionNumber(display_); }

    Window id() const { return win_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool mapped() const { return mapped_; }
    bool double_buffered() const { return double_buffered_; }
    bool vsync() const { return vsync_; }
    // The renderer says it is software (GLX_MESA_query_renderer); without a way to
    // ask, it counts as a GPU.
    bool software_renderer() const { return software_renderer_; }
    Display* display() const { return display_; }
    std::FILE* diag() const { return diag_; }
    const XVisualInfo& visual() const { return *visual_; }
    // Lets go of the OpenGL context, for a run that draws without it.
    void ReleaseContext();

  private:
    bool Adopt(Window w);
    bool CreateOwn(bool covers_screen);
    // The window over the screen takes the keyboard and the pointer once shown.
    void GrabInput();
    void AskForVsync();
    bool AskIfSoftware();

    Display* display_;
    std::FILE* diag_;
    Window win_ = 0;
    bool own_window_ = false;
    bool covers_screen_ = false;           // any key, button or pointer movement ends the run
    int pointer_x_ = -1, pointer_y_ = -1;  // where the pointer was when the window took it
    Colormap colormap_ = 0;
    XVisualInfo* visual_ = nullptr;
    GLXContext context_ = nullptr;
    bool double_buffered_ = false;
    bool vsync_ = false;
    bool software_renderer_ = false;
    int width_ = 0, height_ = 0;
    bool mapped_ = false;
    Atom wm_delete_ = 0;
};
