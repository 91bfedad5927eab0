// `lumivor` in a window: the saver in its own X11 window, in a window given by
// id, or on the root window as an XScreenSaver hack. The picture is presented
// after ticks, at most 60 times a second (or once per display refresh), and on
// Expose; window_saver.h says how it is drawn.

#include "host/x11/window_host.h"

#include <poll.h>
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "host/shared/clocks.h"
#include "host/shared/fps_meter.h"
#include "host/shared/outputs.h"
#include "host/x11/window_saver.h"
#include "host/x11/x_window.h"
#include "saver/tick_clock.h"
#include "world/biotope.h"

namespace {

constexpr long long kMaxWaitNs = 100000000LL;        // the loop wakes at least this often
constexpr long long kPresentNs = 1000000000LL / 60;  // present rate without a vertical-sync swap

volatile std::sig_atomic_t stop_requested = 0;

void OnStopSignal(int) {
    stop_requested = 1;
}

bool RunEndsWithoutWindow() {
    return x_window_gone || x_connection_lost;
}

bool RunEnds() {
    return stop_requested || RunEndsWithoutWindow();
}

// Runs the saver until it is told to stop; returns the exit status.
int Run(const WindowJob& job, XWindow& window, WindowSaver& saver) {
    FpsMeter meter(job.fps, job.diag);
    if (job.fps)
        std::fprintf(job.diag, "lumivor: window 0x%lx, %dx%d, %s\n", window.id(), window.width(),
                     window.height(), saver.Way());
    int status = 0;
    // The world is built when the window is first shown, at the size it then has
    // (a window manager may resize a new window as it maps it).
    bool started = false, quit = false, need_present = false, finished = false;
    unsigned long ticks_done = 0;
    long long last_present = 0;
    TickClock clock;
    clock.Restart(NowNs());
    while (!RunEnds() && !quit) {
        const WindowEvents events = window.HandleEvents();
        if (events.resized && !saver.Resize(window.width(), window.height())) {
            status = 1;
            break;
        }
        if (events.shown) clock.Restart(NowNs());  // go on from now, without a backlog
        if (events.shown || events.exposed) saver.MarkAll();
        need_present = need_present || events.shown || events.exposed;
        quit = events.quit_asked;
        if (RunEnds() || quit) break;
        long long now = NowNs();
        if (window.mapped() && !started) {
            saver.Start();
            started = true;
            now = NowNs();
            clock.Restart(now);
        }
        if (window.mapped()) {
            for (int due = clock.TakeDue(now); due > 0 && !finished; --due) {
                const long long cpu = ThreadCpuNs();
                saver.Tick();
                meter.AddTick(ThreadCpuNs() - cpu);
                need_present = true;
                finished = job.ticks != 0 && ++ticks_done >= job.ticks;
            }
        }
        if (need_present && (window.mapped() || finished) &&
            (finished || window.vsync() || now - last_present >= kPresentNs)) {
            const long long cpu = ThreadCpuNs();
            const double shown = saver.Present();
            need_present = false;
            meter.AddPresent(ThreadCpuNs() - cpu, shown);
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
    // The last ticks, and an Expose not yet read, are shown even when a stop cut
    // the wait short.
    if (!RunEndsWithoutWindow() && window.HandleEvents().exposed) {
        saver.MarkAll();
        need_present = true;
    }
    if (need_present) saver.Present();
    if (!RunEndsWithoutWindow()) saver.Finish();
    meter.Report(NowNs(), true);
    // The picture is saved however the run ended, a lost connection included.
    if (!SaveHabitatAtEnd(job.habitat_path, "lumivor", job.diag)) status = 1;
    if (x_connection_lost) {
        std::fprintf(job.diag, "lumivor: lost the connection to the X server\n");
        status = 1;
    }
    return status;  // the saver destroys the world
}

// Runs the saver drawn the way that suits the renderer and the window.
int RunSaver(const WindowJob& job, XWindow& window) {
    if (PaintsImage(job, window)) {
        ImageSaver saver(window, job);
        if (!saver.Open()) return 1;
        window.ReleaseContext();  // nothing is drawn through OpenGL
        return Run(job, window, saver);
    }
    OpenGLSaver saver(window, job);
    return Run(job, window, saver);
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

    int status = 1;
    {
        XWindow window(display, job.diag);
        switch (window.Open(job)) {
            case OpenResult::kOpened:
                status = RunSaver(job, window);
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
