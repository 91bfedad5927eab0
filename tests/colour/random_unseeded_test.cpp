// Runs in its own process: nothing here may seed the global generator before
// the unseeded sequence has been read.
#include <gtest/gtest.h>

#include <cstdint>

#include "colour/random_tovi.h"

TEST(RandomToviUnseeded, GlobalStateIsTheStateOfSeedOne) {
    // The table holds the words that seeding with 1 leaves, cut to 32 bits.
    int64_t seeded[32] = {};
    random_state_tovi rec{};
    ASSERT_EQ(initstate_r_tovi(1, seeded, 128, &rec), 0);
    EXPECT_EQ(randtbl_tovi[0], 3);
    for (int i = 1; i < 32; ++i) {
        EXPECT_EQ(randtbl_tovi[i], static_cast<int64_t>(static_cast<int32_t>(seeded[i])))
            << "state word " << i - 1;
    }

    const long first[] = {1804289383, 846930886, 1681692777, 1714636915, 1957747793};
    for (long expected : first) EXPECT_EQ(random_tovi(), expected);

    // And it goes on as the seeded record does, well past one turn of the table.
    int64_t skipped = 0;
    for (int i = 0; i < 5; ++i) random_r_tovi(&rec, &skipped);
    for (int i = 0; i < 5000; ++i) {
        int64_t expected = 0;
        ASSERT_EQ(random_r_tovi(&rec, &expected), 0);
        ASSERT_EQ(random_tovi(), expected) << "draw " << i + 5;
    }
}
