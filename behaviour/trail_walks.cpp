#include "behaviour/trail_walks.h"

#include "behaviour/fast_walk.h"
#include "behaviour/presets.h"

namespace behaviour {

namespace {

template <const uint8_t* G>
bool TrailWalk(Bot* bot, Image* habitat, Image* display) {
    return FastWalk<G, NoObserver, Shown::kAfterWalk>(bot, habitat, display, NoObserver{});
}

// In the order of the preset list, as PresetIndex counts.
#define LUMIVOR_TRAIL_WALK(bot, suffix, ...) TrailWalk<bot_genes_##bot##suffix>,
const TrailWalkFunc kTrailWalks[] = {LUMIVOR_PRESETS(LUMIVOR_IGNORE, LUMIVOR_TRAIL_WALK)};
#undef LUMIVOR_TRAIL_WALK

}  // namespace

TrailWalkFunc TrailWalkFor(StepFunc step) {
    const PresetWalks* preset = WalksFor(step);
    return preset == nullptr ? nullptr : kTrailWalks[PresetIndex(preset)];
}

}  // namespace behaviour
