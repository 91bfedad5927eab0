#include "host/shared/run_loop.h"

#ifndef _WIN32
#include <signal.h>
#endif

#include <algorithm>
#include <csignal>

#include "host/shared/clocks.h"
#include "host/shared/fps_meter.h"
#include "host/shared/outputs.h"
#include "saver/tick_clock.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

#ifndef _WIN32
bool signals_held = false;
sigset_t wait_mask;  // the mask while a host waits: the stop signals let through

void OnStopSignal(int) {
    stop_requested = 1;
}
#endif

}  // namespace

void HoldStopSignals() {
#ifndef _WIN32
    sigset_t stops;
    sigemptyset(&stops);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, sig);
    sigprocmask(SIG_BLOCK, &stops, &wait_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigdelset(&wait_mask, sig);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
    signals_held = true;
#endif
}

bool StopRequested() {
    return stop_requested != 0;
}

#ifndef _WIN32
int WaitForEvents(pollfd* fds, long long wait_ns, nfds_t count) {
    if (stop_requested != 0 || wait_ns < 0) wait_ns = 0;
    const timespec timeout{static_cast<time_t>(wait_ns / 1000000000LL),
                           static_cast<long>(wait_ns % 1000000000LL)};
    // A stop that was held until now arrives here and ends the wait at once.
    return ppoll(fds, count, &timeout, signals_held ? &wait_mask : nullptr);
}
#endif

int RunLoop(const WindowJob& job, RunHost& host, bool ends_after_ticks) {
    FpsMeter meter(job.fps, job.diag);
    TickClock clock(job.ticks_per_second);
    bool built = false, held = false, need_present = false, ticking = false;
    unsigned long ticks = 0;
    long long last_present = 0, wait = 0;
    int status = 0;
    while (!StopRequested()) {
        const HostNews news = host.Pump(wait);
        if (news.failed) {
            status = 1;
            break;
        }
        if (news.started) {
            built = true;
            held = false;
            ticks = 0;
        }
        if (news.started || news.shown) clock.Restart(NowNs());
        need_present = need_present || news.started || news.shown || news.changed;
        if (news.ended || StopRequested()) break;

        long long now = NowNs();
        // Ticks that waited for the host (a surface nobody sees) are postponed,
        // not owed: after such a pause the clock goes on from now.
        const bool could_tick = ticking;
        ticking = host.CanTick() && !held;
        if (ticking && !could_tick && clock.WaitNs(now) <= -clock.TickNs()) clock.Restart(now);
        if (ticking) {
            for (int due = clock.TakeDue(now); due > 0 && !held; --due) {
                const long long start = meter.Now();
                host.Tick();
                meter.AddTick(meter.Now() - start);
                need_present = true;
                held = job.ticks != 0 && ++ticks >= job.ticks;
            }
        }
        if (held && ends_after_ticks) break;  // Finish shows the last ticks
        if (need_present && host.CanPresent() &&
            (held || host.PacesItself() || now - last_present >= kPresentNs)) {
            const long long start = meter.Now();
            const double shown = host.Present();
            if (shown < 0) {
                status = 1;
                break;
            }
            meter.AddPresent(meter.Now() - start, shown);
            last_present = now;
            need_present = host.Unshown();
        }
        meter.Report(now, false);

        // Until the next tick or present is due; the host's events and a stop
        // signal end the wait earlier.
        now = NowNs();
        wait = kMaxWaitNs;
        if (host.CanTick() && !held) wait = std::min(wait, clock.WaitNs(now));
        if (need_present && host.CanPresent())
            wait = std::min(wait, host.PacesItself() ? 0 : last_present + kPresentNs - now);
    }
    // The last ticks are shown even when a stop cut the wait short.
    host.Finish(need_present);
    meter.Report(NowNs(), true);
    if (!built) return EndBeforeWorld(job, status);
    // The picture is saved however the run ended, a lost connection included.
    if (!SaveHabitatAtEnd(job.habitat_path, "lumivor", job.diag)) status = 1;
    return status;
}

int EndBeforeWorld(const WindowJob& job, int status) {
    if (!job.habitat_path.empty())
        std::fprintf(
            job.diag,
            "lumivor: the run ended before its world was built; nothing was saved to %s\n",
            IsStandardOutput(job.habitat_path) ? "standard output" : job.habitat_path.c_str());
    return status;
}
