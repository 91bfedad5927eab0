#include "world/community.h"

#include <cstdint>
#include <cstdio>

#include "behaviour/preset_genes.h"
#include "behaviour/presets.h"
#include "bots/messages.h"
#include "world/biotope.h"
#include "world/clock.h"

int scr_w = 0;
int scr_h = 0;
long rand_seed = 1;
RGB_888 clear_clr = {196, 196, 196};

// ---- Preset data, one block per community (suffix a..j for presets 0..9) ----

// clang-format off
const char* const community_name_a = "amorfwit";
const uint8_t hue_shift_a = 128;
const RGB_888 habitat_rgb_a = {201, 202, 196};
const uint8_t* const bot_genes_a[kCommunityBots] = {bot_genes_0a, bot_genes_1a, bot_genes_2a, bot_genes_3a, bot_genes_4a, bot_genes_5a, bot_genes_6a, bot_genes_7a};
const StepFunc funcs_a[kCommunityBots] = {step_0a, step_1a, step_2a, step_3a, step_4a, step_5a, step_6a, step_7a};

const char* const community_name_b = "paarsebergen";
const uint8_t hue_shift_b = 192;
const RGB_888 habitat_rgb_b = {198, 200, 203};
const uint8_t* const bot_genes_b[kCommunityBots] = {bot_genes_0b, bot_genes_1b, bot_genes_2b, bot_genes_3b, bot_genes_4b, bot_genes_5b, bot_genes_6b, bot_genes_7b};
const StepFunc funcs_b[kCommunityBots] = {step_0b, step_1b, step_2b, step_3b, step_4b, step_5b, step_6b, step_7b};

const char* const community_name_c = "somspaars";
const uint8_t hue_shift_c = 192;
const RGB_888 habitat_rgb_c = {200, 207, 202};
const uint8_t* const bot_genes_c[kCommunityBots] = {bot_genes_0c, bot_genes_1c, bot_genes_2c, bot_genes_3c, bot_genes_4c, bot_genes_5c, bot_genes_6c, bot_genes_7c};
const StepFunc funcs_c[kCommunityBots] = {step_0c, step_1c, step_2c, step_3c, step_4c, step_5c, step_6c, step_7c};

const char* const community_name_d = "fijnwerk";
const uint8_t hue_shift_d = 232;
const RGB_888 habitat_rgb_d = {198, 205, 197};
const uint8_t* const bot_genes_d[kCommunityBots] = {bot_genes_0d, bot_genes_1d, bot_genes_2d, bot_genes_3d, bot_genes_4d, bot_genes_5d, bot_genes_6d, bot_genes_7d};
const StepFunc funcs_d[kCommunityBots] = {step_0d, step_1d, step_2d, step_3d, step_4d, step_5d, step_6d, step_7d};

const char* const community_name_e = "geo&vlekkensnel";
const uint8_t hue_shift_e = 0;
const RGB_888 habitat_rgb_e = {202, 202, 200};
const uint8_t* const bot_genes_e[kCommunityBots] = {bot_genes_0e, bot_genes_1e, bot_genes_2e, bot_genes_3e, bot_genes_4e, bot_genes_5e, bot_genes_6e, bot_genes_7e};
const StepFunc funcs_e[kCommunityBots] = {step_0e, step_1e, step_2e, step_3e, step_4e, step_5e, step_6e, step_7e};

const char* const community_name_f = "fel";
const uint8_t hue_shift_f = 143;
const RGB_888 habitat_rgb_f = {198, 204, 199};
const uint8_t* const bot_genes_f[kCommunityBots] = {bot_genes_0f, bot_genes_1f, bot_genes_2f, bot_genes_3f, bot_genes_4f, bot_genes_5f, bot_genes_6f, bot_genes_7f};
const StepFunc funcs_f[kCommunityBots] = {step_0f, step_1f, step_2f, step_3f, step_4f, step_5f, step_6f, step_7f};

const char* const community_name_g = "rock";
const uint8_t hue_shift_g = 0;
const RGB_888 habitat_rgb_g = {200, 204, 203};
const uint8_t* const bot_genes_g[kCommunityBots] = {bot_genes_0g, bot_genes_1g, bot_genes_2g, bot_genes_3g, bot_genes_4g, bot_genes_5g, bot_genes_6g, bot_genes_7g};
const StepFunc funcs_g[kCommunityBots] = {step_0g, step_1g, step_2g, step_3g, step_4g, step_5g, step_6g, step_7g};

const char* const community_name_h = "zoetkoraal";
const uint8_t hue_shift_h = 212;
const RGB_888 habitat_rgb_h = {203, 207, 203};
const uint8_t* const bot_genes_h[kCommunityBots] = {bot_genes_0h, bot_genes_1h, bot_genes_2h, bot_genes_3h, bot_genes_4h, bot_genes_5h, bot_genes_6h, bot_genes_7h};
const StepFunc funcs_h[kCommunityBots] = {step_0h, step_1h, step_2h, step_3h, step_4h, step_5h, step_6h, step_7h};

const char* const community_name_i = "zwavelgrot";
const uint8_t hue_shift_i = 224;
const RGB_888 habitat_rgb_i = {197, 206, 202};
const uint8_t* const bot_genes_i[kCommunityBots] = {bot_genes_0i, bot_genes_1i, bot_genes_2i, bot_genes_3i, bot_genes_4i, bot_genes_5i, bot_genes_6i, bot_genes_7i};
const StepFunc funcs_i[kCommunityBots] = {step_0i, step_1i, step_2i, step_3i, step_4i, step_5i, step_6i, step_7i};

const char* const community_name_j = "tegelswitzwart";
const uint8_t hue_shift_j = 220;
const RGB_888 habitat_rgb_j = {199, 205, 196};
const uint8_t* const bot_genes_j[kCommunityBots] = {bot_genes_0j, bot_genes_1j, bot_genes_2j, bot_genes_3j, bot_genes_4j, bot_genes_5j, bot_genes_6j, bot_genes_7j};
const StepFunc funcs_j[kCommunityBots] = {step_0j, step_1j, step_2j, step_3j, step_4j, step_5j, step_6j, step_7j};

// clang-format on

const char* community_names[kCommunityCount] = {community_name_a, community_name_b, community_name_c, community_name_d, community_name_e, community_name_f, community_name_g, community_name_h, community_name_i, community_name_j};
const uint8_t* hshift[kCommunityCount] = {&hue_shift_a, &hue_shift_b, &hue_shift_c, &hue_shift_d, &hue_shift_e, &hue_shift_f, &hue_shift_g, &hue_shift_h, &hue_shift_i, &hue_shift_j};
const RGB_888* clear_rgb[kCommunityCount] = {&habitat_rgb_a, &habitat_rgb_b, &habitat_rgb_c, &habitat_rgb_d, &habitat_rgb_e, &habitat_rgb_f, &habitat_rgb_g, &habitat_rgb_h, &habitat_rgb_i, &habitat_rgb_j};
const uint8_t* const* bot_genes[kCommunityCount] = {bot_genes_a, bot_genes_b, bot_genes_c, bot_genes_d, bot_genes_e, bot_genes_f, bot_genes_g, bot_genes_h, bot_genes_i, bot_genes_j};
const StepFunc* step_funcs[kCommunityCount] = {funcs_a, funcs_b, funcs_c, funcs_d, funcs_e, funcs_f, funcs_g, funcs_h, funcs_i, funcs_j};

bool InitCommunity(int n) {
    Notice("InitCommunity(%d)\n", n);
    if (n < 0 || n >= kCommunityCount) {
        std::fprintf(stderr, "community %d : no such community!\n", n);
        return false;
    }
    rand_seed = static_cast<long>(ReadClock());
    biotope.Create(kCommunityBots, static_cast<unsigned long>(scr_w),
                   static_cast<unsigned long>(scr_h), static_cast<unsigned long>(rand_seed));
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
