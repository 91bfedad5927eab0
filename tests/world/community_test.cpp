// The preset communities and their installation into the world (each community's objects,
// messages and seeding are held by the reference runs).
#include "world/community.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "world/biotope.h"

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

// Builds the world for preset n on a width x height surface, as the saver does.
void InstallCommunity(int n, int width, int height, std::time_t clock) {
    scr_w = width;
    scr_h = height;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    InitCommunity(n, StartClock::Fixed(clock));
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
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
