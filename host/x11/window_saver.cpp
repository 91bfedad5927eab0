#include "host/x11/window_saver.h"

#include "world/biotope.h"

OpenGLSaver::OpenGLSaver(XWindow& window, const WindowJob& job)
    : window_(window),
      surface_([&window] { return window.MakeCurrent(); }),
      view_(
          SaverFrame{
              0, 0, {static_cast<double>(window.width()), static_cast<double>(window.height())}},
          job.have_window_id, &surface_) {
    surface_.diag = job.diag;
    view_.start = job.start;
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
    if (XWindowLost()) return 0;
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

ImageSaver::ImageSaver(XWindow& window, const WindowJob& job)
    : window_(window), picture_(window.display(), job.diag) {
    saver_.start = job.start;
}

ImageSaver::~ImageSaver() {
    biotope.Destroy();
}

bool ImageSaver::Open() {
    return picture_.Open(window_.id(), window_.visual(), window_.width(), window_.height());
}

void ImageSaver::Start() {
    saver_.Start(window_.width(), window_.height());
}

bool ImageSaver::Resize(int width, int height) {
    saver_.SurfaceChanged();
    return picture_.Resize(width, height);
}

void ImageSaver::Tick() {
    saver_.Tick(picture_.trails());
}

double ImageSaver::Present() {
    if (XWindowLost() || picture_.width() < 1 || picture_.height() < 1) return 0;
    return static_cast<double>(picture_.Present()) /
           (static_cast<double>(picture_.width()) * picture_.height());
}

const char* ImageSaver::Way() const {
    return "the picture painted by the program, changed parts sent, up to 60 a second";
}

bool PaintsImage(const WindowJob& job, const XWindow& window) {
    return PaintsPixels(job.present, XImagePicture::Suits(window.display(), window.visual()),
                        window.software_renderer());
}
