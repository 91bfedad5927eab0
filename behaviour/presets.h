// The eighty preset step functions, step_<bot><community>: the step pipeline
// run with the genes of that bot of that community, and the walk specialised
// for each of them. All are generated from the one preset list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "behaviour/preset_list.h"
#include "behaviour/step_observer.h"
#include "bots/bot.h"

class Image;

// The genes of every preset bot, `bot_genes_<bot><community>`, as constants
// that the step functions are compiled from.
#define LUMIVOR_GENE_ARRAY(bot, suffix, ...) \
    inline constexpr uint8_t bot_genes_##bot##suffix[13] = {__VA_ARGS__};
LUMIVOR_PRESETS(LUMIVOR_IGNORE, LUMIVOR_GENE_ARRAY)
#undef LUMIVOR_GENE_ARRAY

#define LUMIVOR_STEP_DECLARATION(bot, suffix, ...) \
    void step_##bot##suffix(const Core_* core, long* value, long* dir, HSL_888* out);
LUMIVOR_PRESETS(LUMIVOR_IGNORE, LUMIVOR_STEP_DECLARATION)
#undef LUMIVOR_STEP_DECLARATION

namespace behaviour {

// A walk of all of a bot's steps, as the saver runs it, and the same walk
// reporting each step to an observer.
using WalkFunc = void (*)(Bot* bot, Image* habitat, Image* display);
using ObservedWalkFunc = void (*)(Bot* bot, Image* habitat, Image* display,
                                  const StepObserver& observer);

struct PresetWalks {
    StepFunc step;
    WalkFunc walk;
    ObservedWalkFunc observed_walk;
};

// The specialised walks of a preset step function, or null for any other
// function; constant time.
const PresetWalks* WalksFor(StepFunc step);

// The place in the preset list, 0..79, of an entry that WalksFor returned.
size_t PresetIndex(const PresetWalks* entry);

}  // namespace behaviour
