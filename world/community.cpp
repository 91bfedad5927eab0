#include "world/community.h"

#include <cstdint>
#include <cstdio>

#include "behaviour/presets.h"
#include "bots/messages.h"
#include "world/biotope.h"
#include "world/clock.h"

int scr_w = 0;
int scr_h = 0;
int64_t rand_seed = 1;
RGB_888 clear_clr = {196, 196, 196};

// ---- Preset data, one block per community (suffix a..j for presets 0..9) ----

#define LUMIVOR_COMMUNITY_DATA(suffix, name, hue, red, green, blue) \
    const char* const community_name_##suffix = name;               \
    const uint8_t hue_shift_##suffix = hue;                         \
    const RGB_888 habitat_rgb_##suffix = {red, green, blue};        \
    const uint8_t* const bot_genes_##suffix[kCommunityBots] = {     \
        LUMIVOR_EIGHT_BOTS(bot_genes_, suffix)};                    \
    const StepFunc funcs_##suffix[kCommunityBots] = {LUMIVOR_EIGHT_BOTS(step_, suffix)};
LUMIVOR_PRESETS(LUMIVOR_COMMUNITY_DATA, LUMIVOR_IGNORE)
#undef LUMIVOR_COMMUNITY_DATA

// The tables by preset number, each element naming one community's object.
#define LUMIVOR_NAME_OF(suffix, ...) community_name_##suffix,
#define LUMIVOR_HUE_SHIFT_OF(suffix, ...) &hue_shift_##suffix,
#define LUMIVOR_CLEAR_COLOUR_OF(suffix, ...) &habitat_rgb_##suffix,
#define LUMIVOR_GENES_OF(suffix, ...) bot_genes_##suffix,
#define LUMIVOR_FUNCS_OF(suffix, ...) funcs_##suffix,
const char* community_names[kCommunityCount] = {LUMIVOR_PRESETS(LUMIVOR_NAME_OF, LUMIVOR_IGNORE)};
const uint8_t* hshift[kCommunityCount] = {LUMIVOR_PRESETS(LUMIVOR_HUE_SHIFT_OF, LUMIVOR_IGNORE)};
const RGB_888* clear_rgb[kCommunityCount] = {
    LUMIVOR_PRESETS(LUMIVOR_CLEAR_COLOUR_OF, LUMIVOR_IGNORE)};
const uint8_t* const* bot_genes[kCommunityCount] = {
    LUMIVOR_PRESETS(LUMIVOR_GENES_OF, LUMIVOR_IGNORE)};
const StepFunc* step_funcs[kCommunityCount] = {LUMIVOR_PRESETS(LUMIVOR_FUNCS_OF, LUMIVOR_IGNORE)};
#undef LUMIVOR_NAME_OF
#undef LUMIVOR_HUE_SHIFT_OF
#undef LUMIVOR_CLEAR_COLOUR_OF
#undef LUMIVOR_GENES_OF
#undef LUMIVOR_FUNCS_OF

bool InitCommunity(int n, const StartClock& clock) {
    Notice("InitCommunity(%d)\n", n);
    if (n < 0 || n >= kCommunityCount) {
        std::fprintf(stderr, "community %d : no such community!\n", n);
        return false;
    }
    rand_seed = clock.Read();
    biotope.Create(kCommunityBots, static_cast<unsigned long>(scr_w),
                   static_cast<unsigned long>(scr_h), static_cast<uint64_t>(rand_seed));
    // Steps per bot and update: one per 1200 pixels of the surface, the product
    // taken in 64 bits so that no surface size overflows.
    const long long pixels = static_cast<long long>(scr_w) * static_cast<long long>(scr_h);
    biotope.SetBotSteps(static_cast<unsigned long>(pixels < 0 ? 0 : pixels / 1200));
    biotope.SetHueShift(*hshift[n]);
    clear_clr = *clear_rgb[n];
    biotope.ClearHabitat(&clear_clr);
    for (unsigned long b = 0; b < biotope.n_bots && b < kCommunityBots; ++b) {
        Bot& bot = biotope.bots[b];
        for (int g = 0; g < 13; ++g) bot.genes[g] = bot_genes[n][b][g];
        bot.step_func = step_funcs[n][b];
    }
    biotope.InitCommunity();
    Notice("community '%s' : habitat %d x %d, rgb(%d, %d, %d) hue_shift %d\n", community_names[n],
           scr_w, scr_h, clear_clr.r, clear_clr.g, clear_clr.b, *hshift[n]);
    return true;
}
