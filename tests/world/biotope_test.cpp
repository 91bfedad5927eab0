// The world: its new habitat, and the guards that keep a half-built world from stepping.
#include "world/biotope.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/captured.h"

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
