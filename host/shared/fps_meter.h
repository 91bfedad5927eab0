// Ticks per second and CPU share of a window host, reported once a second and
// at the end (the hack's -fps flag).
#pragma once

#include <cstdio>

#include "host/shared/clocks.h"

class FpsMeter {
  public:
    // Reports nothing unless `on`.
    FpsMeter(bool on, std::FILE* out);

    // The steady clock while reporting, else 0: the loop times every tick and
    // present, which only a report needs, with a clock that is cheap on every
    // system (a thread's CPU clock takes Wine a round trip to its server).
    long long Now() const { return on_ ? NowNs() : 0; }
    // Nanoseconds spent in one tick.
    void AddTick(long long ns) { tick_ns_ += ns, ++ticks_, ++all_ticks_; }
    // Nanoseconds spent in one present, and the share of the window it showed.
    void AddPresent(long long ns, double share) { present_ns_ += ns, shown_ += share, ++presents_; }
    // Writes a line when a second has passed since the last, or at the end (`final`).
    void Report(long long now, bool final);

  private:
    void Reset(long long now);

    bool on_;
    std::FILE* out_;
    long long start_ = 0, cpu_start_ = 0, tick_ns_ = 0, present_ns_ = 0;
    unsigned long ticks_ = 0, all_ticks_ = 0, presents_ = 0;
    double shown_ = 0;  // sum of the shares of the window shown by each present
};
