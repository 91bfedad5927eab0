// The X11 idle watcher: the X server's idle time through the MIT-SCREEN-SAVER
// extension, read again when the time left has passed. It leaves the screen to
// a running XScreenSaver daemon instead of fighting it.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>

#include "host/idle/idle_watcher.h"
#include "host/shared/clocks.h"
#include "host/shared/run_loop.h"
#include "host/x11/window_host.h"
#include "host/x11/x_window.h"

namespace {

constexpr long long kNsPerMs = 1000000;

class X11Watcher : public IdleWatcher {
  public:
    X11Watcher(Display* display, const WindowJob& job, long long after_seconds)
        : display_(display), diag_(job.diag), after_ms_(after_seconds * 1000) {}
    ~X11Watcher() override {
        if (!x_connection_lost) XCloseDisplay(display_);
    }

    IdleWait WaitForIdle() override {
        while (!StopRequested()) {
            if (DaemonRuns()) return IdleWait::kFailed;
            XScreenSaverInfo info{};
            const Status asked =
                XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), &info);
            if (x_connection_lost || !asked) {
                std::fprintf(diag_, "lumivor: lost the connection to the X server\n");
                return IdleWait::kFailed;
            }
            // After a run the whole idle time passes again, whatever the server counts.
            long long idle_ms = static_cast<long long>(info.idle);
            if (ran_) idle_ms = std::min(idle_ms, (NowNs() - ended_ns_) / kNsPerMs);
            if (idle_ms >= after_ms_) return IdleWait::kIdle;
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            WaitForEvents(&fd, (after_ms_ - idle_ms) * kNsPerMs);
            while (!x_connection_lost && XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
            }
        }
        return IdleWait::kStopped;
    }
    void SaverEnded() override {
        ran_ = true;
        ended_ns_ = NowNs();
    }
    int RunSaver(const WindowJob& job) override { return RunWindowHost(job); }
    const char* Source() const override { return "the X server's MIT-SCREEN-SAVER extension"; }

    // A running XScreenSaver daemon names its version on the root window: the
    // screen is its to blank, and one line says so.
    bool DaemonRuns() {
        const Atom version = XInternAtom(display_, "_SCREENSAVER_VERSION", True);
        if (version == None) return false;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const int got =
            XGetWindowProperty(display_, DefaultRootWindow(display_), version, 0, 64, False,
                               AnyPropertyType, &type, &format, &count, &after, &data);
        if (data != nullptr) XFree(data);
        if (got != Success || type == None) return false;
        std::fprintf(diag_,
                     "lumivor: an XScreenSaver daemon runs on this display and starts the "
                     "savers; lumivor idle leaves it to it\n");
        return true;
    }

  private:
    Display* display_;
    std::FILE* diag_;
    long long after_ms_;
    bool ran_ = false;
    long long ended_ns_ = 0;  // when the last run ended
};

}  // namespace

std::unique_ptr<IdleWatcher> OpenX11Watcher(const WindowJob& job, long long after_seconds) {
    const char* name = job.display_name.empty() ? nullptr : job.display_name.c_str();
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        if (name == nullptr) name = std::getenv("DISPLAY");
        std::fprintf(job.diag, "lumivor: no idle watcher answers: cannot open display '%s'\n",
                     name ? name : "");
        return nullptr;
    }
    InstallXErrorHandlers(display);
    int event_base = 0, error_base = 0;
    if (!XScreenSaverQueryExtension(display, &event_base, &error_base)) {
        std::fprintf(job.diag,
                     "lumivor: no idle watcher answers: the X server has no MIT-SCREEN-SAVER "
                     "extension\n");
        XCloseDisplay(display);
        return nullptr;
    }
    std::unique_ptr<X11Watcher> watcher =
        NewWatcher<X11Watcher>(job.diag, display, job, after_seconds);
    if (!watcher) {
        XCloseDisplay(display);
        return nullptr;
    }
    if (watcher->DaemonRuns()) return nullptr;
    return watcher;
}
