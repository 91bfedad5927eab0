#include "tests/support/community.h"

#include <gtest/gtest.h>

#include <cstring>

#include "world/community.h"

Messages InstallCommunity(int n, int width, int height, std::time_t clock) {
    scr_w = width;
    scr_h = height;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    InitCommunity(n, StartClock::Fixed(clock));
    return {testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

void GivePresetBots(Biotope& world, int n) {
    for (unsigned long b = 0; b < world.n_bots && b < kCommunityBots; ++b) {
        std::memcpy(world.bots[b].genes, bot_genes[n][b], 13);
        world.bots[b].step_func = step_funcs[n][b];
    }
    testing::internal::CaptureStdout();
    world.InitCommunity();
    testing::internal::GetCapturedStdout();
}
