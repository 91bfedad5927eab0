#include "host/window_saver.h"

#include "saver/frame_driver.h"
#include "world/biotope.h"
#include "world/community.h"

OpenGLSaver::OpenGLSaver(XWindow& window, const WindowJob& job)
    : window_(window),
      surface_([&window] { return window.MakeCurrent(); }),
      view_(
          SaverFrame{
              0, 0, {static_cast<double>(window.width()), static_cast<double>(window.height())}},
          job.have_window_id, &surface_) {
    surface_.diag = job.diag;
}

OpenGLSaver::~OpenGLSaver() {
    // The view destroys the world and lets go of the surface, which needs the context.
    if (!x_connection_lost) surface_.MakeCurrent();
}

bool OpenGLSaver::Resize(int width, int height) {
    view_.setFrameSize({static_cast<double>(width), static_cast<double>(height)});
    return true;
}

double OpenGLSaver::Present() {
    if (x_window_gone || x_connection_lost) return 0;
    surface_.MakeCurrent();
    surface_.CopyTo(0, window_.width(), window_.height());
    window_.Show();
    return 1;
}

const char* OpenGLSaver::Way() const {
    if (!window_.double_buffered()) return "OpenGL, single-buffered, presents up to 60 a second";
    return window_.vsync() ? "OpenGL, swaps wait for the display"
                           : "OpenGL, double-buffered, presents up to 60 a second";
}

ImageSaver::ImageSaver(XWindow& window, std::FILE* diag)
    : window_(window), picture_(window.display(), diag) {}

ImageSaver::~ImageSaver() {
    biotope.Destroy();
}

bool ImageSaver::Open() {
    return picture_.Open(window_.id(), window_.visual(), window_.width(), window_.height());
}

// As the view starts, less the OpenGL state nothing here reads.
void ImageSaver::Start() {
    StartWorld(window_.width(), window_.height());
    ready_ = false;
}

bool ImageSaver::Resize(int width, int height) {
    ready_ = false;
    return picture_.Resize(width, height);
}

// As the view ticks: OnReshape's clear, then OnDisplay's two updates, each painted
// where DisplayPaths draws it.
void ImageSaver::Tick() {
    if (!ready_) {
        picture_.Clear(clear_clr);
        ready_ = true;
        return;
    }
    biotope.Update();
    picture_.PaintTrails(biotope);
    biotope.Update();
    picture_.PaintTrails(biotope);
}

double ImageSaver::Present() {
    if (x_window_gone || x_connection_lost || picture_.width() < 1 || picture_.height() < 1)
        return 0;
    return static_cast<double>(picture_.Present()) /
           (static_cast<double>(picture_.width()) * picture_.height());
}

const char* ImageSaver::Way() const {
    return "the picture painted by the program, changed parts sent, up to 60 a second";
}

bool PaintsImage(const WindowJob& job, const XWindow& window) {
    if (job.present == PresentChoice::kFull) return false;
    if (!XImagePicture::Suits(window.display(), window.visual())) return false;
    return job.present == PresentChoice::kParts || window.software_renderer();
}
