// The saver in a window, drawn one of two ways: OpenGL draws the trails into a
// framebuffer object that is copied whole to the window (what a GPU does in no
// time), or, where OpenGL is software, the program paints them into an X image
// of its own and sends only the changed rectangles. Both show the same picture
// at every tick: the habitat, pixel for pixel.
#pragma once

#include <cstdio>

#include "host/shared/fbo_surface.h"
#include "host/shared/window_job.h"
#include "host/x11/x_image.h"
#include "host/x11/x_window.h"
#include "saver/saver.h"
#include "saver/saver_view.h"

// What the run loop needs of the saver in a window.
class WindowSaver {
  public:
    virtual ~WindowSaver() = default;
    // Builds the world at the window's size; the next tick clears.
    virtual void Start() = 0;
    // The window has a new size: the next tick clears at that size, the world
    // keeps its own. False, reported, when the new size cannot be had.
    virtual bool Resize(int width, int height) = 0;
    // The first tick after a start or a resize clears; every later one runs two
    // world updates and draws their trails.
    virtual void Tick() = 0;
    // The window must be shown whole at the next present (mapped or exposed).
    virtual void MarkAll() {}
    // Shows the picture in the window; returns the share of the window sent.
    virtual double Present() = 0;
    // Waits until the window shows everything presented.
    virtual void Finish() {}
    // Describes the way of drawing, for the -fps report.
    virtual const char* Way() const = 0;
};

// Through the saver view and OpenGL.
class OpenGLSaver : public WindowSaver {
  public:
    OpenGLSaver(XWindow& window, const WindowJob& job);
    ~OpenGLSaver() override;
    void Start() override { view_.startAnimation(); }
    bool Resize(int width, int height) override;
    void Tick() override { view_.animateOneFrame(); }
    double Present() override;
    const char* Way() const override;

  private:
    XWindow& window_;
    FramebufferSurface surface_;
    Lumivor_saverView view_;  // after surface_: it lets go of the surface as it ends
};

// Painted by the program into an X image, ticked by the saver's heart.
class ImageSaver : public WindowSaver {
  public:
    ImageSaver(XWindow& window, const WindowJob& job);
    ~ImageSaver() override;
    // Makes the picture at the window's size; false, reported, without memory for it.
    bool Open();
    void Start() override;
    bool Resize(int width, int height) override;
    void Tick() override;
    void MarkAll() override { picture_.MarkAll(); }
    double Present() override;
    void Finish() override { picture_.Finish(); }
    const char* Way() const override;

  private:
    XWindow& window_;
    XImagePicture picture_;
    Saver saver_;
};

// The image where the renderer is software and the window's pixels suit it (or
// where the job asks for it), else OpenGL.
bool PaintsImage(const WindowJob& job, const XWindow& window);
