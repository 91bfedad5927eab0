// The world room: the habitat and the guards of a half-built world, and the preset communities.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/captured.h"
#include "world/biotope.h"
#include "world/community.h"

// A new habitat is grey (196) in RGB and its HSL form (0, 0, 196). A failed habitat leaves no
// rasters (not one of each size), with the message; a world without a habitat neither walks nor
// draws but still counts updates. (How genes 8 to 12 choose each bot's channels is held by the
// reference runs: each code, 0, 1 and another, stands in genes 8 and 9 of the presets.)
TEST(Biotope, NewHabitatIsGreyAFailedOneLeavesNoRasters) {
    Biotope w;
    const auto [out, err] = Captured([&] {
        ASSERT_TRUE(w.Create(8, 37, 23, 4242));
        EXPECT_TRUE(w.rgb_habitat.data[0] == 196 && w.hsl_habitat.data[1] == 0 &&
                    w.hsl_habitat.data[2] == 196);
        EXPECT_FALSE(w.CreateHabitat(0, 5));
        EXPECT_FALSE(w.Create(8, 100000, 100000, 3));
    });
    EXPECT_EQ(out.rfind("Biotope::Create(8, 37, 23, 4242)\ncreated 37x23 habitat", 0), 0u);
    EXPECT_NE(err.find("Biotope::CreateHabitat() failure: cannot create 0x5 habitat\n"),
              std::string::npos);
    EXPECT_FALSE(w.HasHabitat());
    EXPECT_EQ(w.rgb_habitat.data, nullptr);
    EXPECT_EQ(w.hsl_habitat.data, nullptr);
    EXPECT_TRUE(w.Update());
    EXPECT_EQ(w.n_updates, 1u);
    w.Destroy();
    w.Destroy();  // twice is harmless
    EXPECT_EQ(w.bots, nullptr);
}

// The preset communities and their installation into the world (each community's objects,
// messages and seeding are held by the reference runs).
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
