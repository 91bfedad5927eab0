#include "behaviour/presets.h"

#include "behaviour/fast_walk.h"
#include "behaviour/pipeline.h"
#include "behaviour/preset_genes.h"

#define LUMIVOR_PRESET_STEP(name, genes)                                  \
    void name(const Core_* core, long* value, long* dir, HSL_888* out) { \
        behaviour::StepFromGenes<genes>(core, value, dir, out);          \
    }

LUMIVOR_PRESET_STEP(step_0a, bot_genes_0a)
LUMIVOR_PRESET_STEP(step_1a, bot_genes_1a)
LUMIVOR_PRESET_STEP(step_2a, bot_genes_2a)
LUMIVOR_PRESET_STEP(step_3a, bot_genes_3a)
LUMIVOR_PRESET_STEP(step_4a, bot_genes_4a)
LUMIVOR_PRESET_STEP(step_5a, bot_genes_5a)
LUMIVOR_PRESET_STEP(step_6a, bot_genes_6a)
LUMIVOR_PRESET_STEP(step_7a, bot_genes_7a)

LUMIVOR_PRESET_STEP(step_0b, bot_genes_0b)
LUMIVOR_PRESET_STEP(step_1b, bot_genes_1b)
LUMIVOR_PRESET_STEP(step_2b, bot_genes_2b)
LUMIVOR_PRESET_STEP(step_3b, bot_genes_3b)
LUMIVOR_PRESET_STEP(step_4b, bot_genes_4b)
LUMIVOR_PRESET_STEP(step_5b, bot_genes_5b)
LUMIVOR_PRESET_STEP(step_6b, bot_genes_6b)
LUMIVOR_PRESET_STEP(step_7b, bot_genes_7b)

LUMIVOR_PRESET_STEP(step_0c, bot_genes_0c)
LUMIVOR_PRESET_STEP(step_1c, bot_genes_1c)
LUMIVOR_PRESET_STEP(step_2c, bot_genes_2c)
LUMIVOR_PRESET_STEP(step_3c, bot_genes_3c)
LUMIVOR_PRESET_STEP(step_4c, bot_genes_4c)
LUMIVOR_PRESET_STEP(step_5c, bot_genes_5c)
LUMIVOR_PRESET_STEP(step_6c, bot_genes_6c)
LUMIVOR_PRESET_STEP(step_7c, bot_genes_7c)

LUMIVOR_PRESET_STEP(step_0d, bot_genes_0d)
LUMIVOR_PRESET_STEP(step_1d, bot_genes_1d)
LUMIVOR_PRESET_STEP(step_2d, bot_genes_2d)
LUMIVOR_PRESET_STEP(step_3d, bot_genes_3d)
LUMIVOR_PRESET_STEP(step_4d, bot_genes_4d)
LUMIVOR_PRESET_STEP(step_5d, bot_genes_5d)
LUMIVOR_PRESET_STEP(step_6d, bot_genes_6d)
LUMIVOR_PRESET_STEP(step_7d, bot_genes_7d)

LUMIVOR_PRESET_STEP(step_0e, bot_genes_0e)
LUMIVOR_PRESET_STEP(step_1e, bot_genes_1e)
LUMIVOR_PRESET_STEP(step_2e, bot_genes_2e)
LUMIVOR_PRESET_STEP(step_3e, bot_genes_3e)
LUMIVOR_PRESET_STEP(step_4e, bot_genes_4e)
LUMIVOR_PRESET_STEP(step_5e, bot_genes_5e)
LUMIVOR_PRESET_STEP(step_6e, bot_genes_6e)
LUMIVOR_PRESET_STEP(step_7e, bot_genes_7e)

LUMIVOR_PRESET_STEP(step_0f, bot_genes_0f)
LUMIVOR_PRESET_STEP(step_1f, bot_genes_1f)
LUMIVOR_PRESET_STEP(step_2f, bot_genes_2f)
LUMIVOR_PRESET_STEP(step_3f, bot_genes_3f)
LUMIVOR_PRESET_STEP(step_4f, bot_genes_4f)
LUMIVOR_PRESET_STEP(step_5f, bot_genes_5f)
LUMIVOR_PRESET_STEP(step_6f, bot_genes_6f)
LUMIVOR_PRESET_STEP(step_7f, bot_genes_7f)

LUMIVOR_PRESET_STEP(step_0g, bot_genes_0g)
LUMIVOR_PRESET_STEP(step_1g, bot_genes_1g)
LUMIVOR_PRESET_STEP(step_2g, bot_genes_2g)
LUMIVOR_PRESET_STEP(step_3g, bot_genes_3g)
LUMIVOR_PRESET_STEP(step_4g, bot_genes_4g)
LUMIVOR_PRESET_STEP(step_5g, bot_genes_5g)
LUMIVOR_PRESET_STEP(step_6g, bot_genes_6g)
LUMIVOR_PRESET_STEP(step_7g, bot_genes_7g)

LUMIVOR_PRESET_STEP(step_0h, bot_genes_0h)
LUMIVOR_PRESET_STEP(step_1h, bot_genes_1h)
LUMIVOR_PRESET_STEP(step_2h, bot_genes_2h)
LUMIVOR_PRESET_STEP(step_3h, bot_genes_3h)
LUMIVOR_PRESET_STEP(step_4h, bot_genes_4h)
LUMIVOR_PRESET_STEP(step_5h, bot_genes_5h)
LUMIVOR_PRESET_STEP(step_6h, bot_genes_6h)
LUMIVOR_PRESET_STEP(step_7h, bot_genes_7h)

LUMIVOR_PRESET_STEP(step_0i, bot_genes_0i)
LUMIVOR_PRESET_STEP(step_1i, bot_genes_1i)
LUMIVOR_PRESET_STEP(step_2i, bot_genes_2i)
LUMIVOR_PRESET_STEP(step_3i, bot_genes_3i)
LUMIVOR_PRESET_STEP(step_4i, bot_genes_4i)
LUMIVOR_PRESET_STEP(step_5i, bot_genes_5i)
LUMIVOR_PRESET_STEP(step_6i, bot_genes_6i)
LUMIVOR_PRESET_STEP(step_7i, bot_genes_7i)

LUMIVOR_PRESET_STEP(step_0j, bot_genes_0j)
LUMIVOR_PRESET_STEP(step_1j, bot_genes_1j)
LUMIVOR_PRESET_STEP(step_2j, bot_genes_2j)
LUMIVOR_PRESET_STEP(step_3j, bot_genes_3j)
LUMIVOR_PRESET_STEP(step_4j, bot_genes_4j)
LUMIVOR_PRESET_STEP(step_5j, bot_genes_5j)
LUMIVOR_PRESET_STEP(step_6j, bot_genes_6j)
LUMIVOR_PRESET_STEP(step_7j, bot_genes_7j)

namespace behaviour {

namespace {

struct FastWalkEntry {
    StepFunc step;
    WalkFunc walk;
};

// clang-format off
const FastWalkEntry kFastWalks[] = {
    {step_0a, FastWalk<bot_genes_0a>},
    {step_1a, FastWalk<bot_genes_1a>},
    {step_2a, FastWalk<bot_genes_2a>},
    {step_3a, FastWalk<bot_genes_3a>},
    {step_4a, FastWalk<bot_genes_4a>},
    {step_5a, FastWalk<bot_genes_5a>},
    {step_6a, FastWalk<bot_genes_6a>},
    {step_7a, FastWalk<bot_genes_7a>},
    {step_0b, FastWalk<bot_genes_0b>},
    {step_1b, FastWalk<bot_genes_1b>},
    {step_2b, FastWalk<bot_genes_2b>},
    {step_3b, FastWalk<bot_genes_3b>},
    {step_4b, FastWalk<bot_genes_4b>},
    {step_5b, FastWalk<bot_genes_5b>},
    {step_6b, FastWalk<bot_genes_6b>},
    {step_7b, FastWalk<bot_genes_7b>},
    {step_0c, FastWalk<bot_genes_0c>},
    {step_1c, FastWalk<bot_genes_1c>},
    {step_2c, FastWalk<bot_genes_2c>},
    {step_3c, FastWalk<bot_genes_3c>},
    {step_4c, FastWalk<bot_genes_4c>},
    {step_5c, FastWalk<bot_genes_5c>},
    {step_6c, FastWalk<bot_genes_6c>},
    {step_7c, FastWalk<bot_genes_7c>},
    {step_0d, FastWalk<bot_genes_0d>},
    {step_1d, FastWalk<bot_genes_1d>},
    {step_2d, FastWalk<bot_genes_2d>},
    {step_3d, FastWalk<bot_genes_3d>},
    {step_4d, FastWalk<bot_genes_4d>},
    {step_5d, FastWalk<bot_genes_5d>},
    {step_6d, FastWalk<bot_genes_6d>},
    {step_7d, FastWalk<bot_genes_7d>},
    {step_0e, FastWalk<bot_genes_0e>},
    {step_1e, FastWalk<bot_genes_1e>},
    {step_2e, FastWalk<bot_genes_2e>},
    {step_3e, FastWalk<bot_genes_3e>},
    {step_4e, FastWalk<bot_genes_4e>},
    {step_5e, FastWalk<bot_genes_5e>},
    {step_6e, FastWalk<bot_genes_6e>},
    {step_7e, FastWalk<bot_genes_7e>},
    {step_0f, FastWalk<bot_genes_0f>},
    {step_1f, FastWalk<bot_genes_1f>},
    {step_2f, FastWalk<bot_genes_2f>},
    {step_3f, FastWalk<bot_genes_3f>},
    {step_4f, FastWalk<bot_genes_4f>},
    {step_5f, FastWalk<bot_genes_5f>},
    {step_6f, FastWalk<bot_genes_6f>},
    {step_7f, FastWalk<bot_genes_7f>},
    {step_0g, FastWalk<bot_genes_0g>},
    {step_1g, FastWalk<bot_genes_1g>},
    {step_2g, FastWalk<bot_genes_2g>},
    {step_3g, FastWalk<bot_genes_3g>},
    {step_4g, FastWalk<bot_genes_4g>},
    {step_5g, FastWalk<bot_genes_5g>},
    {step_6g, FastWalk<bot_genes_6g>},
    {step_7g, FastWalk<bot_genes_7g>},
    {step_0h, FastWalk<bot_genes_0h>},
    {step_1h, FastWalk<bot_genes_1h>},
    {step_2h, FastWalk<bot_genes_2h>},
    {step_3h, FastWalk<bot_genes_3h>},
    {step_4h, FastWalk<bot_genes_4h>},
    {step_5h, FastWalk<bot_genes_5h>},
    {step_6h, FastWalk<bot_genes_6h>},
    {step_7h, FastWalk<bot_genes_7h>},
    {step_0i, FastWalk<bot_genes_0i>},
    {step_1i, FastWalk<bot_genes_1i>},
    {step_2i, FastWalk<bot_genes_2i>},
    {step_3i, FastWalk<bot_genes_3i>},
    {step_4i, FastWalk<bot_genes_4i>},
    {step_5i, FastWalk<bot_genes_5i>},
    {step_6i, FastWalk<bot_genes_6i>},
    {step_7i, FastWalk<bot_genes_7i>},
    {step_0j, FastWalk<bot_genes_0j>},
    {step_1j, FastWalk<bot_genes_1j>},
    {step_2j, FastWalk<bot_genes_2j>},
    {step_3j, FastWalk<bot_genes_3j>},
    {step_4j, FastWalk<bot_genes_4j>},
    {step_5j, FastWalk<bot_genes_5j>},
    {step_6j, FastWalk<bot_genes_6j>},
    {step_7j, FastWalk<bot_genes_7j>},
};
// clang-format on

}  // namespace

WalkFunc FastWalkFor(StepFunc step) {
    for (const FastWalkEntry& e : kFastWalks) {
        if (e.step == step) return e.walk;
    }
    return nullptr;
}

}  // namespace behaviour
