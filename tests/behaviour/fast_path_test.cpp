// The specialised walks of the preset bots take exactly the steps of the
// general stepping, draw for draw, on random worlds of every community.
#include <gtest/gtest.h>

#include <cstring>

#include "behaviour/fast_walk.h"
#include "colour/random_tovi.h"
#include "world/biotope.h"
#include "world/community.h"

namespace {

// Community n as the saver builds it, on a small habitat of random colours
// (few levels, so ties and runs are common; bots cross the border often).
void Build(Biotope& w, int n, int width, int height) {
    testing::internal::CaptureStdout();
    w.Create(kCommunityBots, width, height, 1765000000ul + n);
    w.SetBotSteps(500);
    w.SetHueShift(*hshift[n]);
    for (unsigned long b = 0; b < w.n_bots; ++b) {
        std::memcpy(w.bots[b].genes, bot_genes[n][b], 13);
        w.bots[b].step_func = step_funcs[n][b];
    }
    w.InitCommunity();
    testing::internal::GetCapturedStdout();
    uint64_t s = 99 + n;
    for (size_t i = 0; i < static_cast<size_t>(width) * height * 3; ++i) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        const uint8_t levels[8] = {0, 3, 7, 100, 101, 250, 255, static_cast<uint8_t>(s >> 56)};
        w.hsl_habitat.data[i] = levels[(s >> 33) & 7];
    }
}

}  // namespace

TEST(FastWalk, EqualsTheGeneralStepForEveryCommunity) {
    EXPECT_EQ(behaviour::FastWalkFor(def_step_func), nullptr);
    for (int n = 0; n < kCommunityCount; ++n) {
        const int width = 23 + n, height = 17;
        const size_t bytes = static_cast<size_t>(width) * height * 3;
        Biotope fast, plain;
        Build(fast, n, width, height);
        Build(plain, n, width, height);
        srandom_tovi(4242);
        for (int u = 0; u < 12; ++u) fast.Update();
        const long fast_next = random_tovi();
        srandom_tovi(4242);
        for (int u = 0; u < 12; ++u)
            for (unsigned long b = 0; b < plain.n_bots; ++b)
                plain.bots[b].StepPathHSL(&plain.hsl_habitat, &plain.rgb_habitat);
        EXPECT_EQ(random_tovi(), fast_next) << "community " << n;
        EXPECT_EQ(std::memcmp(fast.hsl_habitat.data, plain.hsl_habitat.data, bytes), 0) << n;
        EXPECT_EQ(std::memcmp(fast.rgb_habitat.data, plain.rgb_habitat.data, bytes), 0) << n;
        for (unsigned long b = 0; b < fast.n_bots; ++b) {
            const Bot &f = fast.bots[b], &p = plain.bots[b];
            ASSERT_NE(behaviour::FastWalkFor(f.step_func), nullptr);
            EXPECT_TRUE(f.x == p.x && f.y == p.y && f.value == p.value && f.dir == p.dir &&
                        f.path_index == p.path_index)
                << "community " << n << " bot " << b;
            EXPECT_EQ(std::memcmp(f.path_xy, p.path_xy, 500 * sizeof(Point2i)), 0);
            EXPECT_EQ(std::memcmp(f.path_rgb, p.path_rgb, 500 * sizeof(RGB_888)), 0);
        }
    }
}
