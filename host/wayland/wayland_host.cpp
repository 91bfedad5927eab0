// `lumivor --wayland`: the saver over every output of a Wayland compositor, or
// in a window. The heart ticks it (Saver, TickClock) and PixelTrails paints one
// picture; each surface shows its part of that picture (the bottom-left corner,
// as the world is drawn) through wl_shm buffers, with only the changed tiles
// copied and reported as damage, at most 60 commits a second and none before
// the compositor has shown the last.

#include "host/wayland/wayland_host.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <new>

#include "host/shared/clocks.h"
#include "host/shared/fps_meter.h"
#include "host/shared/outputs.h"
#include "host/shared/pixel_trails.h"
#include "host/wayland/wayland_client.h"
#include "saver/tick_clock.h"
#include "world/biotope.h"

namespace {

constexpr long long kMaxWaitNs = 1000000000LL;  // the loop wakes at least once a second

volatile std::sig_atomic_t stop_requested = 0;

void OnStopSignal(int) {
    stop_requested = 1;
}

// The picture every surface shows a part of, painted by the heart's pixel painter.
struct Picture {
    std::unique_ptr<uint32_t[]> pixels;
    int width = 0, height = 0;
    PixelTrails trails;

    bool Resize(int w, int h, std::FILE* diag) {
        pixels.reset(new (std::nothrow) uint32_t[static_cast<size_t>(w) * h]());
        width = pixels ? w : 0;
        height = pixels ? h : 0;
        // XRGB8888 with the unused byte set: tools that read the output as ARGB
        // (screenshots among them) see it opaque.
        trails.Attach(pixels.get(), width, height, width * 4, PixelFormat{.fill = 0xff000000u});
        if (!pixels) std::fprintf(diag, "lumivor: no memory for a %dx%d picture\n", w, h);
        return pixels != nullptr;
    }
};

// Sends what is queued, waits up to wait_ns for the compositor's events (or a
// stop signal, which `wait_mask` lets through) and dispatches them. False when
// the connection failed.
bool Pump(wl_display* display, long long wait_ns, const sigset_t& wait_mask) {
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0) return false;
    // A full socket waits for room; a closed one is found by the read below.
    const bool full = wl_display_flush(display) < 0 && errno == EAGAIN;
    pollfd fd{wl_display_get_fd(display), static_cast<short>(POLLIN | (full ? POLLOUT : 0)), 0};
    const timespec timeout{static_cast<time_t>(wait_ns / 1000000000LL),
                           static_cast<long>(wait_ns % 1000000000LL)};
    if (wait_ns > 0 && stop_requested == 0 && ppoll(&fd, 1, &timeout, &wait_mask) > 0 &&
        (fd.revents & (POLLIN | POLLERR | POLLHUP))) {
        if (wl_display_read_events(display) < 0) return false;
    } else {
        wl_display_cancel_read(display);
    }
    return wl_display_dispatch_pending(display) >= 0;
}

// One run of the saver on the compositor's surfaces.
class WaylandRun {
  public:
    WaylandRun(const WaylandJob& job, WaylandClient& client)
        : job_(job), client_(client), meter_(job.fps, job.diag) {
        saver_.start = job.start;
    }

    // Runs until input, a signal or the compositor ends it; returns the exit status.
    int Run(const sigset_t& wait_mask) {
        int status = 0;
        while (stop_requested == 0 && !client_.input_ended) {
            client_.Sync();
            const std::vector<View*> views = client_.Views();
            if (views.empty() && client_.any_closed) {
                // Surfaces closed as the compositor goes away are a lost connection.
                wl_display_roundtrip(client_.display());
                status = client_.Failed() ? 1 : 0;
                break;
            }
            if (!FollowSize(views)) {
                status = 1;
                break;
            }
            TickDue();
            const long long now = NowNs();
            if (!Present(views, now)) {
                status = 1;
                break;
            }
            meter_.Report(now, false);
            if (!Pump(client_.display(), WaitNs(views, now), wait_mask)) {
                client_.Failed();
                status = 1;
                break;
            }
        }
        meter_.Report(NowNs(), true);
        return status;
    }

  private:
    // The picture covers the largest view. On the outputs a new size starts the
    // run again at that size; a window's surface is cleared, and the world keeps
    // its size. False, reported, when the picture or the world cannot be had.
    bool FollowSize(const std::vector<View*>& views) {
        int width = 0, height = 0;
        for (const View* view : views) {
            if (view->width() < 1 || view->height() < 1) return true;  // its size comes first
            width = std::max(width, view->width());
            height = std::max(height, view->height());
        }
        if (views.empty() || (width == picture_.width && height == picture_.height)) return true;
        if (!picture_.Resize(width, height, job_.diag)) return false;
        if (started_ && client_.role() == Role::kWindow) {
            saver_.SurfaceChanged();
            return true;
        }
        if (!saver_.Start(width, height)) return false;
        if (job_.fps && !started_)
            std::fprintf(job_.diag, "lumivor: Wayland, %s, %dx%d, wl_shm buffers\n",
                         client_.RoleName(), width, height);
        started_ = true;
        held_ = false;
        clock_.Restart(NowNs());
        return true;
    }

    // The ticks due; after --ticks the picture is held.
    void TickDue() {
        for (int due = started_ && !held_ ? clock_.TakeDue(NowNs()) : 0; due > 0 && !held_; --due) {
            const long long cpu = ThreadCpuNs();
            saver_.Tick(picture_.trails);
            meter_.AddTick(ThreadCpuNs() - cpu);
            held_ = job_.ticks != 0 && saver_.ticks_run >= job_.ticks;
        }
    }

    // The tiles painted since the last look go to every view; then each view
    // that may commit now shows what changed for it. False when a buffer cannot be had.
    bool Present(const std::vector<View*>& views, long long now) {
        bool any_ready = false;
        for (View* view : views) {
            view->Fit();
            any_ready = any_ready || view->Ready(now);
        }
        if (any_ready && !picture_.trails.damage.Empty()) {
            const PixelRect* rects = nullptr;
            const int count = picture_.trails.damage.Take(&rects);
            for (View* view : views)
                for (int i = 0; i < count; ++i)
                    view->MarkChanged(rects[i], picture_.height - view->height());
        }
        for (View* view : views) {
            if (!view->HasChanges() || !view->Ready(now)) continue;
            const long long cpu = ThreadCpuNs();
            const double shown =
                view->Commit(picture_.pixels.get(), picture_.width, picture_.height, now);
            if (shown < 0) return false;
            meter_.AddPresent(ThreadCpuNs() - cpu, shown);
        }
        return true;
    }

    // Until the next tick or commit is due; events of the compositor wake the wait earlier.
    long long WaitNs(const std::vector<View*>& views, long long now) const {
        long long wait = started_ && !held_ ? clock_.WaitNs(now) : kMaxWaitNs;
        for (const View* view : views)
            if (view->HasChanges() || !picture_.trails.damage.Empty())
                wait = std::min(wait, view->WaitNs(now, kMaxWaitNs));
        return std::min(wait, kMaxWaitNs);
    }

    const WaylandJob& job_;
    WaylandClient& client_;
    Saver saver_;
    Picture picture_;
    TickClock clock_;
    FpsMeter meter_;
    bool started_ = false, held_ = false;
};

}  // namespace

int RunWaylandHost(const WaylandJob& job) {
    if (!CheckOutputs({job.habitat_path}, "lumivor", job.diag)) return 1;

    // A stop ends the run with success. The signals stay blocked but for the
    // wait for events, so that none is lost between a look at the flag and the wait.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigset_t stops, wait_mask;
    sigemptyset(&stops);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(sig, &action, nullptr);
        sigaddset(&stops, sig);
    }
    sigprocmask(SIG_BLOCK, &stops, &wait_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigdelset(&wait_mask, sig);

    WaylandClient client(job.diag);
    if (!client.Connect()) return 1;
    client.Open(job.window);
    int status = WaylandRun(job, client).Run(wait_mask);
    // The picture is saved however the run ended, a lost connection included.
    if (!SaveHabitatAtEnd(job.habitat_path, "lumivor", job.diag)) status = 1;
    biotope.Destroy();
    return status;
}
