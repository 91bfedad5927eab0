// The clock the saver seeds from. Tests and the command line can fix it, so
// that a run is reproducible.
#pragma once

#include <ctime>

// Seconds since the epoch, or the fixed value when one is set.
std::time_t ReadClock();
void FixClock(std::time_t value);
void UnfixClock();
