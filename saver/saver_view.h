// The saver view: turns a host's notices (create, resize, start, tick, stop,
// release) into frame-driver calls, in the order and with the states the saver needs.
#pragma once

#include "saver/saver.h"
#include "saver/tick_clock.h"

// What the view needs of the host's drawing surface.
class SaverSurface {
  public:
    virtual ~SaverSurface() = default;
    // Makes the surface's OpenGL context current, with the surface as the draw target.
    virtual void MakeCurrent() = 0;
    // The surface follows the view's size (in pixels, truncated toward zero).
    virtual void SetFrameSize(int width, int height) = 0;
    // The view lets go of the surface; it is not drawn to again.
    virtual void Detach() {}
};

struct SaverSize {
    double width = 0, height = 0;
};

struct SaverFrame {
    double x = 0, y = 0;
    SaverSize size;
};

class Lumivor_saverView {
  public:
    SaverSurface* gl_view = nullptr;  // owned by the host; the view only refers to it
    bool GL_ready = false;            // projection set up for the current size
    SaverFrame frame;
    bool is_preview = false;  // kept, not used: a preview runs like the full saver
    bool animating = false;   // between startAnimation and stopAnimation
    double animation_time_interval = 1.0 / kTicksPerSecond;
    RunStart start;  // what every start builds: the real clock, unless a run is named

    // The view over the host's surface; the surface takes the frame's size.
    Lumivor_saverView(SaverFrame frame_rect, bool isPreview, SaverSurface* surface);
    // Destroys the world, then detaches the surface.
    ~Lumivor_saverView();
    Lumivor_saverView(const Lumivor_saverView&) = delete;
    Lumivor_saverView& operator=(const Lumivor_saverView&) = delete;

    void setFrameSize(SaverSize size);
    // Builds the world at the frame's size, then lets the ticks run.
    void startAnimation();
    // One tick: the first after a start, resize or stop sets up and clears; later ones draw.
    void animateOneFrame();
    void stopAnimation();
    bool hasConfigureSheet() const { return false; }
    void* configureSheet() const { return nullptr; }

    int PixelWidth() const { return ToPixels(frame.size.width); }
    int PixelHeight() const { return ToPixels(frame.size.height); }
    // A frame side in whole pixels, truncated toward zero; nonsense (negative, NaN,
    // beyond int) becomes 0 or the int maximum instead of undefined behaviour.
    static int ToPixels(double side);
};
