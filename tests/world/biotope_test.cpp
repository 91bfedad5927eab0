// The world: habitat creation, placement and initialisation from a seed,
// updates, and the guards that keep a half-built world from stepping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "colour/random_tovi.h"
#include "world/biotope.h"

namespace {

std::vector<long> Draws(uint32_t seed, int n) {
    srandom_tovi(seed);
    std::vector<long> r;
    for (int i = 0; i < n; ++i) r.push_back(random_tovi());
    return r;
}

struct Quiet {
    Quiet() {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
    }
    std::string out, err;
    void Stop() {
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
    }
};

}  // namespace

TEST(Biotope, PlacesAndInitialisesBotsFromTheSeed) {
    Biotope w;
    Quiet q;
    ASSERT_TRUE(w.Create(8, 37, 23, 4242));
    for (int b = 0; b < 8; ++b) w.bots[b].genes[8] = static_cast<uint8_t>(b % 4);
    w.InitCommunity();
    q.Stop();
    const std::vector<long> r = Draws(4242, 17);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w.bots[i].x, r[2 * i] % 37);
        EXPECT_EQ(w.bots[i].y, r[2 * i + 1] % 23);
        EXPECT_EQ(w.bots[i].value, r[2 * i] & 255);
        EXPECT_EQ(w.bots[i].dir, r[2 * i + 1] & 7);
    }
    // The generator is left at the start of the community's sequence.
    srandom_tovi(4242);
    const long first = random_tovi();
    Biotope again;
    Quiet q2;
    again.Create(8, 37, 23, 4242);
    again.InitCommunity();
    q2.Stop();
    EXPECT_EQ(random_tovi(), first);
    EXPECT_EQ(q.out.substr(0, 38), "Biotope::Create(8, 37, 23, 4242)\ncreat");
}

TEST(Biotope, ChannelGenesSelectComponents) {
    Biotope w;
    Quiet q;
    w.Create(4, 10, 10, 1);
    const uint8_t codes[4] = {0, 1, 2, 7};
    for (int b = 0; b < 4; ++b) {
        w.bots[b].genes[8] = codes[b];
        w.bots[b].genes[9] = codes[3 - b];
        w.bots[b].genes[10] = 11;
        w.bots[b].genes[11] = 22;
        w.bots[b].genes[12] = 33;
    }
    w.InitCommunity();
    q.Stop();
    const long own[4] = {11, 22, 33, 33};
    for (int b = 0; b < 4; ++b) {
        const Bot& bot = w.bots[b];
        const uint8_t* arrays[4] = {bot.nbh_h, bot.nbh_s, bot.nbh_l, bot.nbh_l};
        EXPECT_EQ(bot.own_a, own[b]);
        EXPECT_EQ(bot.nbh_a, arrays[b]);
        EXPECT_EQ(bot.own_b, own[3 - b]);
        EXPECT_EQ(bot.nbh_b, arrays[3 - b]);
        EXPECT_EQ(bot.color.h, 11);
        EXPECT_EQ(bot.own_hsl, &bot.color);
    }
}

TEST(Biotope, NewHabitatIsGrey) {
    Biotope w;
    Quiet q;
    ASSERT_TRUE(w.CreateHabitat(7, 3));
    q.Stop();
    EXPECT_EQ(q.out,
              "created 7x3 habitat (3 8-bit rgb components)\n"
              "created 7x3 habitat (3 8-bit hsl components)\n");
    for (int i = 0; i < 21; ++i) {
        EXPECT_EQ(w.rgb_habitat.data[i * 3], 196);
        EXPECT_EQ(w.rgb_habitat.data[i * 3 + 2], 196);
        EXPECT_EQ(w.hsl_habitat.data[i * 3 + 0], 0);
        EXPECT_EQ(w.hsl_habitat.data[i * 3 + 1], 0);
        EXPECT_EQ(w.hsl_habitat.data[i * 3 + 2], 196);
    }
}

TEST(Biotope, FailedHabitatLeavesNoRasters) {
    Biotope w;
    Quiet q;
    ASSERT_TRUE(w.Create(8, 20, 20, 3));
    EXPECT_FALSE(w.CreateHabitat(0, 5));
    q.Stop();
    EXPECT_NE(q.err.find("Biotope::CreateHabitat() failure: cannot create 0x5 habitat\n"),
              std::string::npos);
    EXPECT_EQ(w.rgb_habitat.data, nullptr);
    EXPECT_EQ(w.hsl_habitat.data, nullptr);
    EXPECT_FALSE(w.HasHabitat());
    // The bots stay, but a world without a habitat neither walks nor draws.
    EXPECT_EQ(w.n_bots, 8u);
    EXPECT_TRUE(w.Update());
    EXPECT_EQ(w.n_updates, 1u);

    Quiet q2;
    EXPECT_FALSE(w.Create(8, 100000, 100000, 3));
    q2.Stop();
    EXPECT_FALSE(w.HasHabitat());
    EXPECT_TRUE(w.Update());
}

TEST(Biotope, StepCountsAndHueShiftReachEveryBot) {
    Biotope w;
    w.SetBotSteps(77);  // no bots: nothing changes
    EXPECT_EQ(w.bot_steps, 1024u);
    Quiet q;
    w.Create(8, 30, 40, 9);
    w.SetBotSteps(77);
    w.SetHueShift(201);
    // Re-created at the same size, the new bots walk the same number of steps.
    w.Create(8, 30, 40, 10);
    w.SetBotSteps(77);
    q.Stop();
    for (unsigned long b = 0; b < w.n_bots; ++b) {
        EXPECT_EQ(w.bots[b].path_steps, 77u);
        EXPECT_EQ(w.bots[b].hue_shift, 201);
    }
}

TEST(Biotope, UpdatesCountAndDestroyIsIdempotent) {
    Biotope w;
    EXPECT_TRUE(w.Update());
    EXPECT_EQ(w.n_updates, 1u);
    w.Destroy();
    w.Destroy();
    EXPECT_EQ(w.bots, nullptr);
    EXPECT_EQ(w.n_bots, 0u);
    Quiet q;
    w.Create(8, 50, 40, 5);
    w.SetBotSteps(10);
    w.InitCommunity();
    q.Stop();
    EXPECT_TRUE(w.Update());
    EXPECT_EQ(w.n_updates, 1u);
    for (unsigned long b = 0; b < w.n_bots; ++b) EXPECT_EQ(w.bots[b].path_index, 10u);
    w.Destroy();
    EXPECT_EQ(w.rgb_habitat.data, nullptr);
    EXPECT_EQ(w.bot_steps, 10u);
}
