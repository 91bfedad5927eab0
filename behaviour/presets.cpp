#include "behaviour/presets.h"

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
