// The saver's picture kept in the program's own memory as an X image, painted
// point by point exactly where the trails are drawn, and sent to the window a
// changed rectangle at a time, through shared memory where the X server offers it.
// Where OpenGL is software, drawing the trails through it costs several times
// the world's own work; this costs a fraction of it.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <cstdio>

#include "colour/hsl.h"
#include "host/damage_grid.h"
#include "world/biotope.h"

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
    // The whole picture in one colour, as glClear leaves a surface.
    void Clear(RGB_888 colour);
    // Paints the trails of the world's last update, as DisplayPaths draws them: bot
    // after bot, point after point, so the last point on a pixel wins. Row 0 of the
    // world is the picture's bottom row; points off the picture are dropped.
    void PaintTrails(const Biotope& world);
    // Everything must be shown again (the window was exposed).
    void MarkAll() { damage_.MarkAll(); }
    bool Changed() const { return !damage_.Empty(); }
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
    uint32_t Pixel(RGB_888 c) const {
        const uint32_t p = static_cast<uint32_t>(c.r) << red_shift_ |
                           static_cast<uint32_t>(c.g) << green_shift_ |
                           static_cast<uint32_t>(c.b) << blue_shift_;
        return swap_bytes_ ? __builtin_bswap32(p) : p;
    }

    Display* display_;
    std::FILE* diag_;
    Window window_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    GC gc_ = nullptr;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool shared_ = false;  // image_ lives in shared memory attached to the server
    int red_shift_ = 0, green_shift_ = 0, blue_shift_ = 0;
    bool swap_bytes_ = false;  // the server's byte order is not ours
    int width_ = 0, height_ = 0;
    DamageGrid damage_;
};
