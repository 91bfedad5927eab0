#include "saver/tick_clock.h"

int TickClock::TakeDue(long long now) {
    int due = 0;
    while (now >= next_ && due < kMaxLateTicks) {
        next_ += tick_ns_;
        ++due;
    }
    if (now - next_ >= tick_ns_) next_ = now;
    return due;
}
