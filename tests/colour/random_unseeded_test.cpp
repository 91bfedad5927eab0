#include <gtest/gtest.h>

#include "colour/random_tovi.h"

// Own process, nothing seeded yet: table (cut to 32 bits) and sequence are seed 1's.
TEST(RandomToviUnseeded, GlobalStateIsTheStateOfSeedOne) {
    int64_t buffer[32];
    random_state_tovi rec{};
    ASSERT_EQ(initstate_r_tovi(1, buffer, 128, &rec), 0);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(randtbl_tovi[i], int32_t(buffer[i])) << i;
    for (long v : {1804289383L, 846930886L, 1681692777L, 1714636915L, 1957747793L}) {
        EXPECT_EQ(random_tovi(), v);
    }
}
