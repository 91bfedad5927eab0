// `lumivor` in a window: the saver in its own X11 window, in a window given by
// id, or on the root window as an XScreenSaver hack. GLX draws into a persistent
// framebuffer object that is copied to the window after each tick and on Expose.

#include <poll.h>
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "host/damage_grid.h"
#include "host/fbo_surface.h"
#include "host/fps_meter.h"
#include "host/host.h"
#include "host/outputs.h"
#include "host/tick_clock.h"
#include "host/x_window.h"
#include "saver/frame_driver.h"
#include "saver/saver_view.h"
#include "saver/start.h"
#include "world/biotope.h"

namespace {

constexpr long long kMaxWaitNs = 100000000LL;        // the loop wakes at least this often
constexpr long long kPresentNs = 1000000000LL / 60;  // present rate without a vertical-sync swap

volatile std::sig_atomic_t stop_requested = 0;

void OnStopSignal(int) {
    stop_requested = 1;
}

bool RunEnds() {
    return stop_requested || x_window_gone || x_connection_lost;
}

// The window's own back buffer as the saver's surface, for a window that shows
// changed parts: it is never swapped, so it keeps the picture from tick to tick,
// and it follows the window's size by itself.
class BackBufferSurface : public SaverSurface {
  public:
    explicit BackBufferSurface(XWindow& window) : window_(window) {}
    void MakeCurrent() override { window_.MakeCurrent(); }
    void SetFrameSize(int, int) override {}

  private:
    XWindow& window_;
};

// Marks where the trails of the update just drawn changed the picture.
void MarkTrails(void* damage) {
    if (!biotope.HasHabitat()) return;
    for (unsigned long i = 0; i < biotope.n_bots; ++i)
        static_cast<DamageGrid*>(damage)->MarkPoints(biotope.bots[i].path_xy,
                                                     biotope.bots[i].path_steps);
}

// Shows the picture: its changed parts, or a copy of the whole surface.
// Returns the pixels shown.
long Present(XWindow& window, FramebufferSurface& surface, DamageGrid& damage) {
    if (x_window_gone || x_connection_lost) return 0;
    if (window.presents_parts()) {
        window.MakeCurrent();
        PixelRect rects[DamageGrid::kMaxRects];
        const int count = damage.Take(rects);
        window.ShowParts(rects, count);
        long pixels = 0;
        for (int i = 0; i < count; ++i)
            pixels += static_cast<long>(rects[i].width) * rects[i].height;
        return pixels;
    }
    surface.MakeCurrent();
    surface.CopyTo(0, window.width(), window.height());
    window.Show();
    return static_cast<long>(window.width()) * window.height();
}

// Runs the saver until it is told to stop; returns the exit status.
int Run(const WindowJob& job, XWindow& window) {
    FpsMeter meter(job.fps, job.diag);
    if (job.fps)
        std::fprintf(job.diag, "lumivor: window 0x%lx, %dx%d, %s-buffered, %s\n", window.id(),
                     window.width(), window.height(),
                     window.double_buffered() ? "double" : "single",
                     window.presents_parts() ? "presents the changed parts, up to 60 a second"
                     : window.vsync()        ? "swaps wait for the display"
                                             : "presents up to 60 a second");
    int status = 0;
    FramebufferSurface surface([&window] { return window.MakeCurrent(); });
    surface.diag = job.diag;
    BackBufferSurface back_buffer(window);
    DamageGrid damage;
    damage.Reset(window.width(), window.height());
    if (window.presents_parts()) WatchTrails(MarkTrails, &damage);
    Lumivor_saverView view(
        SaverFrame{
            0, 0, {static_cast<double>(window.width()), static_cast<double>(window.height())}},
        job.have_window_id,
        window.presents_parts() ? static_cast<SaverSurface*>(&back_buffer) : &surface);
    // The world is built when the window is first shown, at the size it then has
    // (a window manager may resize a new window as it maps it).
    bool started = false, quit = false, need_present = false, finished = false;
    unsigned long ticks_done = 0;
    long long last_present = 0;
    TickClock clock;
    clock.Restart(NowNs());
    while (!RunEnds() && !quit) {
        const WindowEvents events = window.HandleEvents();
        if (events.resized) {
            view.setFrameSize(
                {static_cast<double>(window.width()), static_cast<double>(window.height())});
            damage.Reset(window.width(), window.height());
        }
        if (events.shown || events.exposed) damage.MarkAll();
        if (events.shown) clock.Restart(NowNs());  // go on from now, without a backlog
        need_present = need_present || events.shown || events.exposed;
        quit = events.quit_asked;
        if (RunEnds() || quit) break;
        long long now = NowNs();
        if (window.mapped() && !started) {
            view.startAnimation();
            started = true;
            now = NowNs();
            clock.Restart(now);
        }
        if (window.mapped()) {
            for (int due = clock.TakeDue(now); due > 0 && !finished; --due) {
                const long long cpu = ClockNs(CLOCK_THREAD_CPUTIME_ID);
                // The tick after a start or resize clears the whole surface.
                if (!view.GL_ready) damage.MarkAll();
                view.animateOneFrame();
                meter.AddTick(ClockNs(CLOCK_THREAD_CPUTIME_ID) - cpu);
                need_present = true;
                finished = job.ticks != 0 && ++ticks_done >= job.ticks;
            }
        }
        if (need_present && (window.mapped() || finished) &&
            (finished || (window.vsync() && !window.presents_parts()) ||
             now - last_present >= kPresentNs)) {
            const long long cpu = ClockNs(CLOCK_THREAD_CPUTIME_ID);
            const long pixels = Present(window, surface, damage);
            need_present = false;
            meter.AddPresent(ClockNs(CLOCK_THREAD_CPUTIME_ID) - cpu,
                             static_cast<double>(pixels) /
                                 (static_cast<double>(window.width()) * window.height()));
            last_present = now;
        }
        if (finished) break;
        meter.Report(now, false);

        // Sleep until the next tick or present is due, an event arrives or a signal
        // stops the wait; never longer than kMaxWaitNs.
        if (window.Pending() || RunEnds()) continue;
        now = NowNs();
        long long wait = kMaxWaitNs;
        if (window.mapped() && clock.WaitNs(now) < wait) wait = clock.WaitNs(now);
        if (need_present && window.mapped() && last_present + kPresentNs - now < wait)
            wait = last_present + kPresentNs - now;
        if (wait > 0) {
            pollfd fd{window.ConnectionFd(), POLLIN, 0};
            const timespec timeout{static_cast<time_t>(wait / 1000000000LL),
                                   static_cast<long>(wait % 1000000000LL)};
            ppoll(&fd, 1, &timeout, nullptr);
        }
    }
    // The last ticks are shown even when a stop cut the wait short.
    if (need_present) Present(window, surface, damage);
    WatchTrails(nullptr, nullptr);
    meter.Report(NowNs(), true);
    // The picture is saved however the run ended, a lost connection included.
    if (!job.habitat_path.empty() && !biotope.SaveHabitat(OutputName(job.habitat_path), false)) {
        std::fprintf(job.diag, "lumivor: cannot save %s\n", job.habitat_path.c_str());
        status = 1;
    }
    if (x_connection_lost) {
        std::fprintf(job.diag, "lumivor: lost the connection to the X server\n");
        status = 1;
    }
    if (!x_connection_lost) surface.MakeCurrent();
    return status;  // the view destroys the world and lets go of the surface
}

}  // namespace

int RunWindowHost(const WindowJob& job) {
    if (!CheckOutputs({job.habitat_path}, "lumivor", job.diag)) return 1;

    // A stop may come at any moment from here on; it ends the run with success.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a signal ends the loop's wait at once
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);

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

    const FixedStart fixed(job.start);
    int status = 1;
    {
        XWindow window(display, job.diag);
        switch (window.Open(job)) {
            case OpenResult::kOpened:
                status = Run(job, window);
                break;
            case OpenResult::kGone:  // replaced before it was drawn in: a normal end
                status = x_connection_lost ? 1 : 0;
                if (x_connection_lost)
                    std::fprintf(job.diag, "lumivor: lost the connection to the X server\n");
                break;
            case OpenResult::kFailed:
                break;
        }
    }
    if (!x_connection_lost) XCloseDisplay(display);
    return status;
}
