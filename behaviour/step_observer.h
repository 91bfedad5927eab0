// Observers of a walk: what a walk reports after each step it takes. The
// walks are templates over their observer, so that the walk the saver runs
// (with NoObserver) and a traced walk are one and the same code.
#pragma once

#include <cstdint>

#include "bots/bot.h"

namespace behaviour {

// One step as taken: where the bot stood, the value and heading it leaves with
// (the heading reduced to 0..7), the colour written into the habitat cell and
// the colour shown for it.
struct StepRecord {
    const Bot* bot;
    unsigned long step;
    int32_t x;
    int32_t y;
    long value;
    long dir;
    HSL_888 written;
    RGB_888 shown;
};

// The observer of the walks that ship: it is told nothing, and a walk built
// with it has no trace of observation left.
struct NoObserver {
    void operator()(const StepRecord&) const {}
};

// An observer reached through a function pointer, one call per step: what a
// trace uses, so that a traced walk is instantiated once for every kind of trace.
struct StepObserver {
    void (*on_step)(void* context, const StepRecord& record) = nullptr;
    void* context = nullptr;
    void operator()(const StepRecord& record) const { on_step(context, record); }
};

}  // namespace behaviour
