#include "world/clock.h"

namespace {
bool fixed = false;
std::time_t fixed_value = 0;
}  // namespace

std::time_t ReadClock() {
    return fixed ? fixed_value : std::time(nullptr);
}

void FixClock(std::time_t value) {
    fixed = true;
    fixed_value = value;
}

void UnfixClock() {
    fixed = false;
}
