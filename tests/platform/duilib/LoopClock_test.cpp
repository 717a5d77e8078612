// The loop's clock: a virtual one moves only when asked, stopping at each
// timer on the way; the real one tells how long the loop may sleep.
#include "platform/duilib/LoopClock.h"

#include <gtest/gtest.h>

namespace {

using DuiLib::LoopClock;

TEST(LoopClockTest, AVirtualClockStopsAtEachTimerWithinTheAdvanceAndThenAtItsEnd) {
    LoopClock clock;
    clock.UseVirtualTime();
    EXPECT_EQ(clock.Now(), 0u);
    EXPECT_FALSE(clock.AdvanceTowards(50));  // nothing asked: it stands still
    EXPECT_EQ(clock.Now(), 0u);
    ASSERT_TRUE(clock.RequestAdvance(100));
    ASSERT_TRUE(clock.RequestAdvance(20));  // after the first: to 120
    EXPECT_TRUE(clock.IsAdvancing());
    EXPECT_TRUE(clock.AdvanceTowards(50));
    EXPECT_EQ(clock.Now(), 50u);
    EXPECT_TRUE(clock.AdvanceTowards(120));  // a timer at the very end is still delivered
    EXPECT_EQ(clock.Now(), 120u);
    EXPECT_FALSE(clock.AdvanceTowards(200));  // beyond it: the advance ends
    EXPECT_EQ(clock.Now(), 120u);
    EXPECT_FALSE(clock.IsAdvancing());
    // A timer already due does not move the clock back.
    ASSERT_TRUE(clock.RequestAdvance(10));
    EXPECT_TRUE(clock.AdvanceTowards(30));
    EXPECT_EQ(clock.Now(), 120u);
    EXPECT_FALSE(clock.TimeUntil(500));  // a virtual clock never times the loop's sleep
}

TEST(LoopClockTest, TheRealClockIgnoresAdvancesAndTellsTheTimeLeftUntilATimer) {
    LoopClock clock;
    clock.UseRealTime();
    EXPECT_FALSE(clock.RequestAdvance(100));
    EXPECT_FALSE(clock.IsAdvancing());
    const std::uint64_t now = clock.Now();
    const auto left = clock.TimeUntil(now + 60000);
    ASSERT_TRUE(left);
    EXPECT_GT(left->count(), 50000);
    EXPECT_LE(left->count(), 60000);
    EXPECT_EQ(clock.TimeUntil(now - 1), std::chrono::milliseconds(0));  // overdue: no sleep
    EXPECT_FALSE(clock.TimeUntil(std::nullopt));
    // Switching back to a virtual clock starts it at 0 again.
    clock.UseVirtualTime();
    EXPECT_EQ(clock.Now(), 0u);
}

}  // namespace
