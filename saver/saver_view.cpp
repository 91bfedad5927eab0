#include "saver/saver_view.h"

#include <climits>

#include "saver/frame_driver.h"
#include "world/biotope.h"

Lumivor_saverView::Lumivor_saverView(SaverFrame frame_rect, bool isPreview, SaverSurface* surface)
    : gl_view(surface), frame(frame_rect), is_preview(isPreview) {
    if (gl_view) gl_view->SetFrameSize(PixelWidth(), PixelHeight());
}

Lumivor_saverView::~Lumivor_saverView() {
    biotope.Destroy();
    if (gl_view) gl_view->Detach();
    gl_view = nullptr;
}

void Lumivor_saverView::setFrameSize(SaverSize size) {
    frame.size = size;
    if (gl_view) gl_view->SetFrameSize(PixelWidth(), PixelHeight());
    GL_ready = false;
}

void Lumivor_saverView::startAnimation() {
    if (!gl_view) return;
    gl_view->MakeCurrent();
    Init(PixelWidth(), PixelHeight(), start);
    // A new world is drawn on a fresh surface: the next tick sets up and clears,
    // also when a host starts the view again without stopping it first.
    GL_ready = false;
    animating = true;
}

void Lumivor_saverView::animateOneFrame() {
    if (!animating || !gl_view) return;
    gl_view->MakeCurrent();
    if (!GL_ready) {
        OnReshape(PixelWidth(), PixelHeight());
        GL_ready = true;
        return;
    }
    OnDisplay();
}

void Lumivor_saverView::stopAnimation() {
    GL_ready = false;
    animating = false;
}

int Lumivor_saverView::ToPixels(double side) {
    if (!(side > 0)) return 0;
    if (side >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(side);
}
