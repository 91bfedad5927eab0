// The run loop every window host shares: it ticks the saver 75 times a second
// (or at the job's slower pace) while the host can show it, presents what changed at most 60 times
// a second, holds or ends the run after --ticks, reports the -fps line, ends on a stop signal, and
// saves the habitat at every end. A host supplies only what is its own: waiting for its events,
// ticking and presenting its drawing, and telling the loop what happened (RunHost).
#pragma once

#include <cstdio>

#include "host/shared/window_job.h"

#ifndef _WIN32
#include <poll.h>
#endif

// Presents at most this often (a host whose present waits for the display's
// refresh paces itself instead).
constexpr long long kPresentNs = 1000000000LL / 60;
// The loop wakes at least this often, events or not.
constexpr long long kMaxWaitNs = 1000000000LL;

// What a host's Pump saw.
struct HostNews {
    bool started = false;  // a world was (re)built: the ticks count from zero, the clock from now
    bool shown =
        false;  // the surface appeared again: the clock goes on from now, without a backlog
    bool changed = false;  // the surface must be presented again (exposed, resized)
    bool ended = false;    // input, or the surface closed: the run ends with success
    bool failed = false;   // the host failed and said why: the run ends with status 1
};

class RunHost {
  public:
    virtual ~RunHost() = default;
    // Waits at most wait_ns for the host's events (a stop signal cuts the wait
    // short: wait with WaitForEvents below) and handles what arrived. Builds the
    // world when the surface first allows it, and again where a new size asks for it.
    virtual HostNews Pump(long long wait_ns) = 0;
    // A world is built and the surface is shown (and, for a background, wants
    // a new picture), so ticks run. Ticks held back by a false are postponed:
    // the same pictures come later, none is skipped.
    virtual bool CanTick() const = 0;
    virtual void Tick() = 0;
    // Something may be presented now (a compositor may still be showing the last).
    virtual bool CanPresent() const { return true; }
    // Shows what changed; returns the share of the surface sent, or -1 when the
    // host failed (it said why).
    virtual double Present() = 0;
    // Changes not yet shown after a Present (a surface that was not ready).
    virtual bool Unshown() const { return false; }
    // The present waits for the display's refresh, so the loop does not pace it.
    virtual bool PacesItself() const { return false; }
    // The run ends: shows what is left to show (`unshown`) and waits until the
    // surface has it, where the surface is still there.
    virtual void Finish(bool unshown) { (void)unshown; }
};

// Runs `host` until input, a stop signal, the host's failure or, where
// `ends_after_ticks`, job.ticks end it; otherwise the picture is held after
// job.ticks. Saves job.habitat_path when a world was built (else says why the
// file is left alone). Returns the exit status.
int RunLoop(const WindowJob& job, RunHost& host, bool ends_after_ticks);
// A run that ends before its world was built saves nothing: the habitat file
// keeps what it held, and a line says so when one was asked for. Returns `status`.
int EndBeforeWorld(const WindowJob& job, int status);

// Stop signals (SIGTERM, SIGINT, SIGHUP). HoldStopSignals, the first thing a
// window command does, blocks them and notes each one that arrives as a stop
// request; they get through only while a host waits in WaitForEvents, so none
// is lost between a look at StopRequested and the wait. On Windows there are
// none to hold.
void HoldStopSignals();
bool StopRequested();

// Calls `pump(wait_ns)`, a host's wait for and dispatch of its events, until
// `done()`, a failed pump or a stop signal; true when done. For what a host
// must wait for before a run, such as a compositor's first answers.
template <typename Done, typename Pump>
bool PumpUntil(Done done, Pump pump) {
    while (!done() && !StopRequested())
        if (!pump(kMaxWaitNs)) return false;
    return done();
}

#ifndef _WIN32
// Waits at most wait_ns for the events of `count` descriptors from `fds`, or
// until a stop signal; no wait at all when a stop was requested. Returns poll's
// result.
int WaitForEvents(pollfd* fds, long long wait_ns, nfds_t count = 1);
#endif
