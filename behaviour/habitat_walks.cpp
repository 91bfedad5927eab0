#include "behaviour/habitat_walks.h"

#include "behaviour/fast_walk.h"

namespace behaviour {

namespace {

template <const uint8_t* G>
void HabitatWalk(Bot* bot, Image* habitat, Image* painted) {
    FastWalk<G, NoObserver, Shown::kNot>(bot, habitat, painted, NoObserver{});
}

// In the order of the preset list, as PresetIndex counts.
#define LUMIVOR_HABITAT_WALK(bot, suffix, ...) HabitatWalk<bot_genes_##bot##suffix>,
const WalkFunc kHabitatWalks[] = {LUMIVOR_PRESETS(LUMIVOR_IGNORE, LUMIVOR_HABITAT_WALK)};
#undef LUMIVOR_HABITAT_WALK

}  // namespace

WalkFunc HabitatWalkFor(StepFunc step) {
    const PresetWalks* preset = WalksFor(step);
    return preset == nullptr ? nullptr : kHabitatWalks[PresetIndex(preset)];
}

}  // namespace behaviour
