// The preset communities and their installation into the world.
#include <gtest/gtest.h>

#include <string>

#include "colour/random_tovi.h"
#include "world/biotope.h"
#include "world/clock.h"
#include "world/community.h"

namespace {

struct Captured {
    std::string out, err;
};

Captured Install(int n, int w, int h, long clock) {
    scr_w = w;
    scr_h = h;
    FixClock(clock);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    InitCommunity(n);
    Captured c{testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
    UnfixClock();
    return c;
}


}  // namespace

TEST(Community, UnknownNumbersAreRefused) {
    for (int n : {10, -1}) {
        scr_w = 100;
        scr_h = 100;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(InitCommunity(n));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "InitCommunity(" + std::to_string(n) + ")\ncommunity " + std::to_string(n) +
                           " : no such community!\n");
    }
}

TEST(Community, InstallsGeoAtA1440By900Surface) {
    const Captured c = Install(4, 1440, 900, 1765000148);
    EXPECT_EQ(biotope.n_bots, 8u);
    EXPECT_EQ(biotope.bot_steps, 1080u);
    EXPECT_EQ(biotope.seed, 1765000148u);
    EXPECT_EQ(biotope.bots[3].step_func, step_funcs[4][3]);
    // The message order of a whole run is held by the reference-run test.
    EXPECT_EQ(c.err,
              "InitCommunity(4)\n"
              "community 'geo&vlekkensnel' : habitat 1440 x 900, rgb(202, 202, 200) hue_shift 0\n");
    EXPECT_EQ(biotope.rgb_habitat.data[0], 202);  // habitat starts in the clear colour
}

TEST(Community, StepCountsFollowTheSurface) {
    const int sizes[][3] = {{1024, 768, 655}, {1440, 900, 1080}, {1920, 1080, 1728},
                            {2560, 1600, 3413}, {30, 30, 0}};
    for (const auto& s : sizes) {
        Install(1, s[0], s[1], 5);
        EXPECT_EQ(biotope.bot_steps, static_cast<unsigned long>(s[2]));
    }
    // A world that cannot be built leaves the saver with nothing to walk.
    Install(1, 0, 0, 5);
    EXPECT_FALSE(biotope.HasHabitat());
    EXPECT_TRUE(biotope.Update());
}

