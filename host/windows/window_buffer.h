// Drawing without framebuffer objects: straight into the window's own single
// buffer, which Windows may wipe where the window was covered.
#pragma once

#include <functional>

#include "saver/saver_view.h"

// The surface of such a window: it has the window's size and is drawn on directly.
class WindowBufferSurface : public SaverSurface {
  public:
    explicit WindowBufferSurface(std::function<bool()> make_current)
        : make_current_(std::move(make_current)) {}
    void MakeCurrent() override { make_current_(); }
    void SetFrameSize(int, int) override {}

  private:
    std::function<bool()> make_current_;
};

// Redraws a width x height window (context current) from the display habitat,
// which holds, cell for cell, the colour last drawn at each pixel.
void RepaintFromHabitat(int width, int height);
