// The saver's picture kept in the program's own memory as an X image, painted
// by the shared pixel painter, and sent to the window a changed rectangle at a
// time, through shared memory where the X server offers it.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <cstdio>

#include "host/shared/pixel_trails.h"

class XImagePicture {
  public:
    XImagePicture(Display* display, std::FILE* diag) : display_(display), diag_(diag) {}
    ~XImagePicture();
    XImagePicture(const XImagePicture&) = delete;
    XImagePicture& operator=(const XImagePicture&) = delete;

    // True when pixels of this visual are 8-bit red, green and blue in 32 bits,
    // as a 24- or 32-bit TrueColor window has them.
    static bool Suits(Display* display, const XVisualInfo& visual);
    // A black picture of width x height for the window; false, reported on diag,
    // when there is no memory for it.
    bool Open(Window window, const XVisualInfo& visual, int width, int height);
    // A new black picture at the new size; false, reported, as for Open.
    bool Resize(int width, int height);
    // The picture's drawing: the saver ticks on it.
    PixelTrails& trails() { return trails_; }
    // Everything must be shown again (the window was exposed).
    void MarkAll() { trails_.damage.MarkAll(); }
    bool Changed() const { return !trails_.damage.Empty(); }
    // Sends the changed rectangles to the window and returns the pixels sent.
    long Present();
    // Waits until the X server has taken every image sent.
    void Finish();
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    bool Allocate(int width, int height);
    bool AttachShared(int width, int height);
    void Release();

    Display* display_;
    std::FILE* diag_;
    Window window_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    GC gc_ = nullptr;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool shared_ = false;  // image_ lives in shared memory attached to the server
    PixelFormat format_;
    int width_ = 0, height_ = 0;
    PixelTrails trails_;
};
