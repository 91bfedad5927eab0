// How a run starts: the clock reading the saver seeds from and the community it
// builds. A host that wants a reproducible run fixes both for the life of a
// FixedStart; without one, the saver reads the real clock and lets it choose.
#pragma once

#include <ctime>

struct StartRequest {
    bool fixed_seed = false;  // false: the real clock at every start
    std::time_t seed = 0;     // the clock reading at start, when fixed_seed
    int preset = -1;          // community 0..9; -1: the clock reading mod 10
};

// Every start made during its life (Init, StartWorld) uses the request; the real
// clock and the choice by the clock come back when it ends. Not nested.
class FixedStart {
  public:
    explicit FixedStart(const StartRequest& request);
    ~FixedStart();
    FixedStart(const FixedStart&) = delete;
    FixedStart& operator=(const FixedStart&) = delete;
};
