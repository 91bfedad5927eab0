// The clock a world is seeded from, handed to whatever starts one: the real
// clock, or a single fixed reading that names a run (`--seed`), so that the
// same reading, size and community reproduce the same run. A value, never
// process-wide state.
#pragma once

#include <cstdint>
#include <ctime>

struct StartClock {
    bool fixed = false;   // false: the real clock at every reading
    int64_t reading = 0;  // the reading when fixed; 64 bits on every platform

    static StartClock Fixed(int64_t reading) { return {true, reading}; }
    // Seconds since the epoch, or the fixed reading.
    int64_t Read() const { return fixed ? reading : static_cast<int64_t>(std::time(nullptr)); }
};
