#include "saver/tick_clock.h"

int TickClock::TakeDue(long long now) {
    int due = 0;
    while (now >= next_ && due < kMaxLateTicks) {
        next_ += kTickNs;
        ++due;
    }
    if (now - next_ >= kTickNs) next_ = now;
    return due;
}
