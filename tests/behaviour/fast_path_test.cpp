// The specialised walks of the preset bots take exactly the steps of the
// general stepping, draw for draw.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "behaviour/fast_walk.h"
#include "behaviour/presets.h"
#include "colour/random_tovi.h"
#include "world/biotope.h"
#include "world/community.h"

using namespace behaviour;

namespace {

// A small deterministic generator for test data, apart from the system's own.
struct TestRandom {
    uint64_t s;
    uint32_t Next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(s >> 33);
    }
    // Bytes drawn from a few levels, so that ties and runs are common.
    uint8_t Byte() {
        const uint32_t r = Next();
        switch (r & 3) {
            case 0: return static_cast<uint8_t>(r >> 8);
            case 1: return static_cast<uint8_t>((r >> 8) & 7);
            case 2: return static_cast<uint8_t>(250 + ((r >> 8) & 7) % 6);
            default: return static_cast<uint8_t>(100 + ((r >> 8) & 3));
        }
    }
};

}  // namespace

namespace {

// A world of community n as the saver builds it, on a habitat of random colours.
void Build(Biotope& w, int n, int width, int height, unsigned long steps, uint64_t fill) {
    testing::internal::CaptureStdout();
    w.Create(kCommunityBots, width, height, 1765000000ul + n);
    w.SetBotSteps(steps);
    w.SetHueShift(*hshift[n]);
    for (unsigned long b = 0; b < w.n_bots; ++b) {
        std::memcpy(w.bots[b].genes, bot_genes[n][b], 13);
        w.bots[b].step_func = step_funcs[n][b];
    }
    w.InitCommunity();
    testing::internal::GetCapturedStdout();
    TestRandom r{fill};
    const size_t bytes = static_cast<size_t>(width) * height * 3;
    for (size_t i = 0; i < bytes; ++i) w.hsl_habitat.data[i] = r.Byte();
    std::memset(w.rgb_habitat.data, 0, bytes);
}

}  // namespace

TEST(FastWalk, EqualsTheGeneralStepForEveryCommunity) {
    for (int n = 0; n < kCommunityCount; ++n) {
        // Small habitats, so that bots cross the border and each other often.
        const int width = 23 + n, height = 17;
        Biotope fast, plain;
        Build(fast, n, width, height, 500, 99 + n);
        Build(plain, n, width, height, 500, 99 + n);
        for (unsigned long b = 0; b < fast.n_bots; ++b)
            ASSERT_NE(FastWalkFor(fast.bots[b].step_func), nullptr);
        ASSERT_EQ(FastWalkFor(def_step_func), nullptr);

        srandom_tovi(4242);
        for (int u = 0; u < 12; ++u) fast.Update();
        const long fast_next = random_tovi();

        srandom_tovi(4242);
        for (int u = 0; u < 12; ++u) {
            for (unsigned long b = 0; b < plain.n_bots; ++b)
                plain.bots[b].StepPathHSL(&plain.hsl_habitat, &plain.rgb_habitat);
        }
        EXPECT_EQ(random_tovi(), fast_next) << "community " << n;

        const size_t bytes = static_cast<size_t>(width) * height * 3;
        EXPECT_EQ(std::memcmp(fast.hsl_habitat.data, plain.hsl_habitat.data, bytes), 0) << n;
        EXPECT_EQ(std::memcmp(fast.rgb_habitat.data, plain.rgb_habitat.data, bytes), 0) << n;
        for (unsigned long b = 0; b < fast.n_bots; ++b) {
            const Bot& f = fast.bots[b];
            const Bot& p = plain.bots[b];
            EXPECT_EQ(f.x, p.x);
            EXPECT_EQ(f.y, p.y);
            EXPECT_EQ(f.value, p.value);
            EXPECT_EQ(f.dir, p.dir);
            EXPECT_EQ(f.path_index, p.path_index);
            EXPECT_EQ(std::memcmp(f.path_xy, p.path_xy, 500 * sizeof(Point2i)), 0);
            EXPECT_EQ(std::memcmp(f.path_rgb, p.path_rgb, 500 * sizeof(RGB_888)), 0);
        }
    }
}
