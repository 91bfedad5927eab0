#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "colour/random_tovi.h"

// Seeding and stepping: within 0 .. 2^31 - 1, the C library's sequence below 2^31 (0 as 1),
// listed first values above it.
TEST(RandomTovi, GlobalSequences) {
    for (const uint32_t seed : {0u, 1u, 2u, 12345u, 2147483647u, 2147483648u, 4294967295u}) {
        srandom_tovi(seed), srandom(seed);
        for (int i = 0; i < 5000; ++i) {
            const long v = random_tovi(), c = random();
            ASSERT_TRUE(v >= 0 && v <= 2147483647 && (seed >= 2147483648u || v == c)) << seed;
        }
    }
    const auto first = [](uint32_t seed) {
        srandom_tovi(seed);
        return std::vector<long>{random_tovi(), random_tovi(), random_tovi()};
    };
    EXPECT_EQ(first(2147483648u), (std::vector<long>{722473798, 841711538, 600775504}));
    EXPECT_EQ(first(4294967295u), (std::vector<long>{1788141860, 836492190, 1667341880}));
}

// Size to type, word 0 = type, each type's first values; n = 7 or no buffer refused.
TEST(RandomToviState, InitstateTypes) {
    int64_t buffer[64], v = -1;
    random_state_tovi rec{};
    EXPECT_EQ(initstate_r_tovi(1, buffer, 7, &rec), -1);
    EXPECT_EQ(initstate_r_tovi(1, nullptr, 128, &rec), -1);
    EXPECT_EQ(srandom_r_tovi(1, &rec), -1);  // still unbound
    const struct {
        uint32_t n;
        int32_t type;
        int64_t first[2];
    } cases[] = {{8, 0, {1103527590, 377401575}},
                 {32, 1, {964237963, 406111040}},
                 {64, 2, {1894937090, 1645272306}},
                 {256, 4, {510644794, 625058908}}};
    for (const auto& c : cases) {
        ASSERT_EQ(initstate_r_tovi(1, buffer, c.n, &rec), 0);
        EXPECT_EQ(rec.type, c.type) << c.n;
        EXPECT_EQ(buffer[0], c.type) << c.n;
        for (int64_t want : c.first) {
            EXPECT_EQ(random_r_tovi(&rec, &v), 0) << c.n;
            EXPECT_EQ(v, want) << c.n;
        }
    }
}

// setstate resumes a buffer where it stopped; a bad position word is refused, changing nothing.
TEST(RandomToviState, SetstateResumesAndRefusesBadPositions) {
    int64_t a[32], b[64], ra[32], rb[64], bad[64] = {}, v = -1, w = -2;
    random_state_tovi rec{}, refa{}, refb{};
    initstate_r_tovi(11, ra, 128, &refa), initstate_r_tovi(22, rb, 256, &refb);
    initstate_r_tovi(22, b, 256, &rec), initstate_r_tovi(11, a, 128, &rec);  // rec ends on a
    for (int64_t word : {int64_t{5 * 31 + 3}, int64_t{5 * 63 + 4}, INT64_MAX, int64_t{-1}}) {
        for (auto [buf, ref] : {std::pair{a, &refa}, std::pair{b, &refb}}) {
            ASSERT_EQ(setstate_r_tovi(buf, &rec), 0);
            bad[0] = word;
            EXPECT_EQ(setstate_r_tovi(bad, &rec), -1) << word;
            for (int i = 0; i < 40; ++i) {
                random_r_tovi(&rec, &v), random_r_tovi(ref, &w);
                ASSERT_EQ(v, w) << word << " " << i;
            }
        }
    }
}
