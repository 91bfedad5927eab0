// The saver's tick, for a host that keeps its own time. A host
// that falls behind runs a few late ticks at once and drops the rest, so that
// a stall (a busy machine, a hidden window) never turns into a burst of work.
// Times are nanoseconds on any steady clock the host reads (host/shared/clocks.h).
#pragma once

// The saver's rate, in ticks a second: the one place it is written.
constexpr int kTicksPerSecond = 75;

class TickClock {
  public:
    static constexpr long long kTickNs = 1000000000LL / kTicksPerSecond;
    static constexpr int kMaxLateTicks = 4;  // late ticks run at once before the rest is dropped

    // A slower pace runs the same ticks, further apart: `ticks_per_second` from 1
    // to kTicksPerSecond (another number: kTicksPerSecond).
    explicit TickClock(int ticks_per_second = kTicksPerSecond)
        : tick_ns_(ticks_per_second >= 1 && ticks_per_second < kTicksPerSecond
                       ? 1000000000LL / ticks_per_second
                       : kTickNs) {}
    long long TickNs() const { return tick_ns_; }

    // The next tick is due at `now`, with no backlog (at start, and when the window reappears).
    void Restart(long long now) { next_ = now; }
    // The ticks to run at `now`: those due, at most kMaxLateTicks. When more
    // than a tick's time is still owed after them, the rest is dropped and the
    // clock goes on from `now`.
    int TakeDue(long long now);
    // Nanoseconds until the next tick is due (zero or less: due now).
    long long WaitNs(long long now) const { return next_ - now; }

  private:
    long long tick_ns_;
    long long next_ = 0;
};
