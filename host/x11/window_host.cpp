// `lumivor` in a window: the saver in its own X11 window, in a window given by
// id, on the root window as an XScreenSaver hack, or on the root window as the
// desktop's background (--wallpaper). The picture is presented
// after ticks, at most 60 times a second (or once per display refresh), and on
// Expose; window_saver.h says how it is drawn.

#include "host/x11/window_host.h"

#include <poll.h>

#include <cstdio>
#include <cstdlib>

#include "host/shared/run_loop.h"
#include "host/x11/window_saver.h"
#include "host/x11/x_window.h"

namespace {

// The window and its drawing as the run loop sees them.
class X11Run : public RunHost {
  public:
    X11Run(XWindow& window, WindowSaver& saver) : window_(window), saver_(saver) {}

    HostNews Pump(long long wait_ns) override {
        if (!window_.Pending()) {
            pollfd fd{window_.ConnectionFd(), POLLIN, 0};
            WaitForEvents(&fd, wait_ns);
        }
        const WindowEvents events = window_.HandleEvents();
        HostNews news;
        if (x_connection_lost) {
            std::fprintf(diag(), "lumivor: lost the connection to the X server\n");
            news.failed = true;
            return news;
        }
        news.ended = x_window_gone || events.quit_asked;
        if (news.ended) return news;
        if (events.resized && !saver_.Resize(window_.width(), window_.height())) {
            news.failed = true;
            return news;
        }
        if (events.shown || events.exposed) saver_.MarkAll();
        news.shown = events.shown;
        news.changed = events.exposed;
        // The world is built when the window is first shown, at the size it then
        // has (a window manager may resize a new window as it maps it).
        if (window_.mapped() && !started_) {
            saver_.Start();
            started_ = news.started = true;
        }
        return news;
    }
    bool CanTick() const override { return started_ && window_.mapped(); }
    void Tick() override { saver_.Tick(); }
    bool CanPresent() const override { return window_.mapped(); }
    double Present() override { return saver_.Present(); }
    bool PacesItself() const override { return window_.vsync(); }
    void Finish(bool unshown) override {
        if (XWindowLost()) return;
        // An Expose not yet read is answered too.
        if (window_.HandleEvents().exposed) {
            saver_.MarkAll();
            unshown = true;
        }
        if (XWindowLost()) return;
        if (unshown) saver_.Present();
        saver_.Finish();
    }

  private:
    std::FILE* diag() const { return window_.diag(); }

    XWindow& window_;
    WindowSaver& saver_;
    bool started_ = false;
};

// Runs the saver drawn the way that suits the renderer and the window; the
// window ends the run after --ticks, the wallpaper holds its picture until stopped
// and the window over the screen until input.
int RunSaver(const WindowJob& job, XWindow& window) {
    const auto run = [&](WindowSaver& saver) {
        if (job.fps)
            std::fprintf(job.diag, "lumivor: window 0x%lx, %dx%d, %s\n", window.id(),
                         window.width(), window.height(), saver.Way());
        X11Run host(window, saver);
        return RunLoop(job, host, !job.wallpaper && !job.covers_screen);
    };
    if (PaintsImage(job, window)) {
        ImageSaver saver(window, job);
        if (!saver.Open()) return 1;
        window.ReleaseContext();  // nothing is drawn through OpenGL
        return run(saver);
    }
    OpenGLSaver saver(window, job);
    return run(saver);
}

}  // namespace

int RunWindowHost(const WindowJob& job) {
    const char* name = job.display_name.empty() ? nullptr : job.display_name.c_str();
    Display* display = XOpenDisplay(name);
    if (!display) {
        if (name == nullptr) name = std::getenv("DISPLAY");
        std::fprintf(job.diag,
                     "lumivor: cannot open display '%s'; without a display, 'lumivor render' "
                     "runs the saver into files\n",
                     name ? name : "");
        return 1;
    }
    InstallXErrorHandlers(display);

    int status = 1;
    {
        XWindow window(display, job.diag);
        switch (window.Open(job)) {
            case OpenResult::kOpened:
                status = RunSaver(job, window);
                break;
            case OpenResult::kGone:  // replaced before it was drawn in: a normal end
                if (x_connection_lost)
                    std::fprintf(job.diag, "lumivor: lost the connection to the X server\n");
                status = EndBeforeWorld(job, x_connection_lost ? 1 : 0);
                break;
            case OpenResult::kFailed:
                break;
        }
    }
    if (!x_connection_lost) XCloseDisplay(display);
    return status;
}
