// The saver's picture in the program's own memory, a 32-bit top-down DIB
// section painted by the shared pixel painter, and shown a changed rectangle
// at a time with GDI: where OpenGL is software this costs a fraction of
// drawing the trails through it and copying the whole surface.
#pragma once

#include <windows.h>

#include <cstdio>

#include "host/shared/pixel_trails.h"

class GdiPicture {
  public:
    explicit GdiPicture(std::FILE* diag) : diag_(diag) {}
    ~GdiPicture() { Release(); }
    GdiPicture(const GdiPicture&) = delete;
    GdiPicture& operator=(const GdiPicture&) = delete;

    // A black picture of width x height (none for an empty size); false,
    // reported on diag, when the system has no memory for it.
    bool Open(int width, int height);
    // The picture's drawing: the saver ticks on it.
    PixelTrails& trails() { return trails_; }
    // Copies the changed rectangles to the window's device context; returns
    // the pixels copied.
    long Present(HDC window);
    // Copies the part `area` of the window asks for again (WM_PAINT).
    void Paint(HDC window, const RECT& area);
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    void Release();

    std::FILE* diag_;
    HDC memory_ = nullptr;  // holds the bitmap for copies out of it
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_bitmap_ = nullptr;
    int width_ = 0, height_ = 0;
    PixelTrails trails_;
};
