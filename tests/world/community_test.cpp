// The preset communities and their installation into the world.
#include "tests/support/community.h"

#include <gtest/gtest.h>

#include <string>

#include "behaviour/presets.h"
#include "world/biotope.h"
#include "world/community.h"

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
    const Messages c = InstallCommunity(4, 1440, 900, 1765000148);
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
    const int sizes[][3] = {
        {1024, 768, 655}, {1440, 900, 1080}, {1920, 1080, 1728}, {2560, 1600, 3413}, {30, 30, 0}};
    for (const auto& s : sizes) {
        InstallCommunity(1, s[0], s[1], 5);
        EXPECT_EQ(biotope.bot_steps, static_cast<unsigned long>(s[2]));
    }
    // A world that cannot be built leaves the saver with nothing to walk.
    InstallCommunity(1, 0, 0, 5);
    EXPECT_FALSE(biotope.HasHabitat());
    EXPECT_TRUE(biotope.Update());
}

// The tables by preset number name each community's own objects: bot b of
// preset n has the genes `bot_genes_<b><suffix>` and the step function `step_<b><suffix>`.
TEST(Community, TablesNameEachCommunitysObjects) {
    EXPECT_EQ(step_funcs[0][0], step_0a);
    EXPECT_EQ(step_funcs[5][3], step_3f);
    EXPECT_EQ(step_funcs[9][7], step_7j);
    EXPECT_EQ(bot_genes[5][3], bot_genes_3f);
    EXPECT_EQ(bot_genes[9][7], bot_genes_7j);
    EXPECT_STREQ(community_names[9], "tegelswitzwart");
    EXPECT_EQ(*hshift[5], 143);
    EXPECT_EQ(clear_rgb[8]->g, 206);
}
