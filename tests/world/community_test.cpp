// The preset communities and their installation into the world (each community's objects,
// messages and seeding are held by the reference runs).
#include "world/community.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/captured.h"
#include "world/biotope.h"

TEST(Community, UnknownNumbersAreRefused) {
    for (int n : {10, -1}) {
        scr_w = scr_h = 100;
        EXPECT_EQ(Captured([n] { EXPECT_FALSE(InitCommunity(n)); }).second,
                  "InitCommunity(" + std::to_string(n) + ")\ncommunity " + std::to_string(n) +
                      " : no such community!\n");
    }
}

TEST(Community, StepCountsFollowTheSurface) {
    const int sizes[][3] = {
        {1024, 768, 655}, {1440, 900, 1080}, {1920, 1080, 1728}, {2560, 1600, 3413}, {30, 30, 0}};
    for (const auto& s : sizes) {
        scr_w = s[0], scr_h = s[1];  // preset 1's world on this surface, as the saver builds it
        Captured([] { InitCommunity(1, StartClock::Fixed(5)); });
        EXPECT_EQ(biotope.bot_steps, static_cast<unsigned long>(s[2]));
    }
}
