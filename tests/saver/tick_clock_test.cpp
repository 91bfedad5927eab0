// The window host's tick clock: every tick is run while the host keeps up; a
// host that falls behind runs a few late ticks at once and drops the rest.
#include "saver/tick_clock.h"

#include <gtest/gtest.h>

namespace {

constexpr long long kTick = TickClock::kTickNs;

TEST(TickClock, RunsEachTickOnTimeCatchesUpAFewLateOnesAndDropsTheRest) {
    TickClock clock;
    clock.Restart(1000);
    EXPECT_EQ(clock.TakeDue(1000), 1);
    EXPECT_EQ(clock.TakeDue(1000 + kTick - 1), 0);
    EXPECT_EQ(clock.WaitNs(1000 + kTick - 1), 1);
    EXPECT_EQ(clock.TakeDue(1000 + kTick), 1);
    clock.Restart(0);
    // Three ticks late: all four due ticks run, nothing is dropped.
    EXPECT_EQ(clock.TakeDue(3 * kTick), 4);
    EXPECT_EQ(clock.WaitNs(3 * kTick), kTick);
    // A long stall: four ticks run, the backlog is dropped, the next is due now.
    clock.Restart(0);
    EXPECT_EQ(clock.TakeDue(100 * kTick), TickClock::kMaxLateTicks);
    EXPECT_EQ(clock.WaitNs(100 * kTick), 0);
    EXPECT_EQ(clock.TakeDue(100 * kTick), 1);
    EXPECT_EQ(clock.WaitNs(100 * kTick), kTick);
}

}  // namespace
