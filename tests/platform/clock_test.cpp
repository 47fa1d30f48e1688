#include <gtest/gtest.h>

#include "TamberLauncher.h"
#include "platform/clock.h"
#include "test_support.h"

namespace {

// 4294967 is the last whole second before the millisecond count wraps; the
// span across it is the agent's heartbeat test's to check.
TEST(Clock, SecondsAcrossTheWrap) {
    EXPECT_EQ(150u, Tamber::SecondsBetween(100, 250));
    // A heartbeat stamped by another thread just after `now` was read.
    EXPECT_EQ(0u, Tamber::SecondsBetween(101, 100));
    TamberTest::FastTime time;
    uint32_t seconds = 0;
    Tamber::TestClock::SetTicks(0xFFFFFFFFu - 100u);
    EXPECT_EQ(1, Vantor_GetElapsedSeconds(&seconds));
    EXPECT_EQ(4294967u, seconds);
    Tamber::TestClock::SetTicks(5u);
    Vantor_GetElapsedSeconds(&seconds);
    EXPECT_EQ(0u, seconds);
}

}  // namespace
