// The preset communities and their installation into the world (each community's objects,
// messages and seeding are held by the reference runs).
#include "world/community.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/captured.h"
#include "world/biotope.h"

TEST(Community, UnknownNumbersAreRefused) {
    for (int n : {10, -1}) {
        scr_w = 100;
        scr_h = 100;
        EXPECT_EQ(Captured([n] { EXPECT_FALSE(InitCommunity(n)); }).second,
                  "InitCommunity(" + std::to_string(n) + ")\ncommunity " + std::to_string(n) +
                      " : no such community!\n");
    }
}

// Builds the world for preset 1 on a width x height surface, as the saver does.
void InstallCommunity(int width, int height) {
    scr_w = width;
    scr_h = height;
    Captured([] { InitCommunity(1, StartClock::Fixed(5)); });
}

TEST(Community, StepCountsFollowTheSurface) {
    const int sizes[][3] = {
        {1024, 768, 655}, {1440, 900, 1080}, {1920, 1080, 1728}, {2560, 1600, 3413}, {30, 30, 0}};
    for (const auto& s : sizes) {
        InstallCommunity(s[0], s[1]);
        EXPECT_EQ(biotope.bot_steps, static_cast<unsigned long>(s[2]));
    }
    // A world that cannot be built leaves the saver with nothing to walk.
    InstallCommunity(0, 0);
    EXPECT_FALSE(biotope.HasHabitat());
    EXPECT_TRUE(biotope.Update());
}
