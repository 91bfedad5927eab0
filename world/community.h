// The ten preset communities and the free function that installs one into
// the world, plus the frame-driver state it shares with the saver.
#pragma once

#include <cstdint>

#include "bots/bot.h"
#include "colour/hsl.h"
#include "world/clock.h"

// Frame-driver state: the surface size, the last clock seed and the clear
// colour. Set by the saver's Init and by InitCommunity(int).
extern int scr_w;
extern int scr_h;
extern int64_t rand_seed;  // `long` where that has 64 bits; whole on every platform
extern RGB_888 clear_clr;

constexpr int kCommunityCount = 10;
constexpr int kCommunityBots = 8;

extern const char* community_names[kCommunityCount];
extern const uint8_t* hshift[kCommunityCount];
extern const RGB_888* clear_rgb[kCommunityCount];
extern const uint8_t* const* bot_genes[kCommunityCount];
extern const StepFunc* step_funcs[kCommunityCount];

// Builds the world for preset n at scr_w x scr_h, seeded from one reading of
// `clock` (the real clock unless a run is named by its seed); false for an
// unknown preset.
bool InitCommunity(int n, const StartClock& clock = {});
