#include "behaviour/presets.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "behaviour/fast_walk.h"
#include "behaviour/pipeline.h"
#include "bots/trail_colours.h"

#define LUMIVOR_STEP_DEFINITION(bot, suffix, ...)                                      \
    void step_##bot##suffix(const Core_* core, long* value, long* dir, HSL_888* out) { \
        behaviour::StepFromGenes<bot_genes_##bot##suffix>(core, value, dir, out);      \
    }
LUMIVOR_PRESETS(LUMIVOR_IGNORE, LUMIVOR_STEP_DEFINITION)
#undef LUMIVOR_STEP_DEFINITION

namespace behaviour {

namespace {

// The saver's walk: the display painted after the walk where the vectorised
// pass runs, step by step otherwise.
template <const uint8_t* G>
void Walk(Bot* bot, Image* habitat, Image* display) {
    if (!PaintTrailAfterWalk()) {
        FastWalk<G, NoObserver, Shown::kInWalk>(bot, habitat, display, NoObserver{});
    } else if (FastWalk<G, NoObserver, Shown::kAfterWalk>(bot, habitat, display, NoObserver{})) {
        PaintTrail(bot->path_xy, bot->path_rgb, bot->path_steps, display->data,
                   static_cast<ptrdiff_t>(display->width) * 3);
    }
}

template <const uint8_t* G>
void ObservedWalk(Bot* bot, Image* habitat, Image* display, const StepObserver& observer) {
    FastWalk<G, StepObserver>(bot, habitat, display, observer);
}

#define LUMIVOR_WALKS_ENTRY(bot, suffix, ...)                      \
    PresetWalks{step_##bot##suffix, Walk<bot_genes_##bot##suffix>, \
                ObservedWalk<bot_genes_##bot##suffix>},
const PresetWalks kPresetWalks[] = {LUMIVOR_PRESETS(LUMIVOR_IGNORE, LUMIVOR_WALKS_ENTRY)};
#undef LUMIVOR_WALKS_ENTRY

// The walks by step function, in a table hashed on the function's address:
// a lookup is one hash and, almost always, one comparison. Far more slots
// than entries keep the probe runs short.
constexpr size_t kSlots = 256;
static_assert(kSlots >= 2 * std::size(kPresetWalks));

size_t SlotOf(StepFunc step) {
    const uint64_t a = reinterpret_cast<uintptr_t>(step);
    return static_cast<size_t>(((a >> 4) * 0x9E3779B97F4A7C15ull) >> 56) & (kSlots - 1);
}

using Slots = std::array<const PresetWalks*, kSlots>;

Slots MakeSlots() {
    Slots slots{};
    for (const PresetWalks& e : kPresetWalks) {
        size_t i = SlotOf(e.step);
        while (slots[i] != nullptr) i = (i + 1) & (kSlots - 1);
        slots[i] = &e;
    }
    return slots;
}

}  // namespace

size_t PresetIndex(const PresetWalks* entry) {
    return static_cast<size_t>(entry - kPresetWalks);
}

const PresetWalks* WalksFor(StepFunc step) {
    static const Slots slots = MakeSlots();
    for (size_t i = SlotOf(step);; i = (i + 1) & (kSlots - 1)) {
        const PresetWalks* e = slots[i];
        if (e == nullptr || e->step == step) return e;
    }
}

}  // namespace behaviour
