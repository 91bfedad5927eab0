// The world: initialisation from the genes, and the guards that keep a half-built
// world from stepping.
#include "world/biotope.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/captured.h"

// Gene 8 / 9 of 0, 1 and anything else select hue, saturation and lightness. (Where the
// seed places each bot is held by the reference runs.)
TEST(Biotope, InitialisesBotsFromTheirGenes) {
    Biotope w;
    const auto [out, err] = Captured([&] {
        ASSERT_TRUE(w.Create(4, 37, 23, 4242));
        const uint8_t codes[4] = {0, 1, 2, 7};
        for (int b = 0; b < 4; ++b) {
            const uint8_t genes[13] = {0, 0, 0, 0, 0, 0, 0, 0, codes[b], codes[3 - b], 11, 22, 33};
            std::copy(genes, genes + 13, w.bots[b].genes);
        }
        w.InitCommunity();
    });
    EXPECT_EQ(out.rfind("Biotope::Create(4, 37, 23, 4242)\ncreated 37x23 habitat", 0), 0u);
    const long own[4] = {11, 22, 33, 33};
    for (int i = 0; i < 4; ++i) {
        const Bot& bot = w.bots[i];
        const uint8_t* arrays[4] = {bot.nbh_h, bot.nbh_s, bot.nbh_l, bot.nbh_l};
        EXPECT_EQ(bot.own_a, own[i]);
        EXPECT_EQ(bot.nbh_a, arrays[i]);
        EXPECT_EQ(bot.own_b, own[3 - i]);
        EXPECT_EQ(bot.nbh_b, arrays[3 - i]);
    }
    // A new habitat is grey (196) in RGB and its HSL form (0, 0, 196).
    EXPECT_EQ(w.rgb_habitat.data[0], 196);
    EXPECT_EQ(w.hsl_habitat.data[1], 0);
    EXPECT_EQ(w.hsl_habitat.data[2], 196);
}

// A failed habitat leaves no rasters (not one of each size), with the message;
// a world without a habitat neither walks nor draws but still counts updates.
TEST(Biotope, FailedHabitatLeavesNoRasters) {
    Biotope w;
    const auto [out, err] = Captured([&] {
        w.Create(8, 20, 20, 3);
        EXPECT_FALSE(w.CreateHabitat(0, 5));
        EXPECT_FALSE(w.Create(8, 100000, 100000, 3));
    });
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
