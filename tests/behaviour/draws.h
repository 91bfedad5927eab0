// How many numbers a call drew from the global generator, found by lining the
// generator up with a fresh sequence from the seed it was given before the call.
#pragma once

#include <cstdint>

#include "colour/random_tovi.h"

inline int DrawsSince(uint32_t seed) {
    const long next = random_tovi();
    srandom_tovi(seed);
    for (int k = 0; k < 8; ++k) {
        if (random_tovi() == next) return k;
    }
    return -1;
}
