#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "test_support.h"

namespace {

TEST(Clock, SecondsBetweenAcrossTheWrap) {
    EXPECT_EQ(0u, Tamber::SecondsBetween(100, 100));
    EXPECT_EQ(150u, Tamber::SecondsBetween(100, 250));
    // 4294967 is the last whole second before the millisecond count wraps.
    EXPECT_EQ(1u, Tamber::SecondsBetween(4294967u, 0u));
    EXPECT_EQ(150u, Tamber::SecondsBetween(4294967u - 100u, 49u));
    // A heartbeat stamped by another thread just after `now` was read.
    EXPECT_EQ(0u, Tamber::SecondsBetween(101, 100));
}

TEST(Clock, TestHooksMoveTheClock) {
    TamberTest::FastTime time;
    Tamber::TestClock::SetTicks(1000000u);
    const uint32_t start = Tamber::GetElapsedSeconds();
    Tamber::TestClock::Advance(150000u);
    EXPECT_EQ(150u, Tamber::SecondsBetween(start, Tamber::GetElapsedSeconds()));
    Tamber::TestClock::SetTicks(0xFFFFFFFFu - 10000u);
    const uint32_t beforeWrap = Tamber::GetElapsedSeconds();
    Tamber::TestClock::Advance(160000u);
    EXPECT_GE(Tamber::SecondsBetween(beforeWrap, Tamber::GetElapsedSeconds()), 159u);
}

TEST(Clock, AWaiterWakesWhenTheTestClockMoves) {
    TamberTest::FastTime time;
    Tamber::ClockWaiter waiter;
    std::atomic<bool> woke{false};
    std::thread sleeper([&] {
        std::unique_lock<std::mutex> lock(waiter.Lock());
        waiter.WaitFor(lock, 0xFFFFFFFFu, [] { return false; });
        woke.store(true);
    });
    // Keep moving the clock until the sleeper has seen it: it may not be waiting yet.
    EXPECT_TRUE(TamberTest::WaitUntil([&] {
        Tamber::TestClock::Advance(1);
        return woke.load();
    }));
    sleeper.join();
}

TEST(Clock, ShortPausesOnlyWhileAsked) {
    TamberTest::FastTime time;
    const auto before = std::chrono::steady_clock::now();
    Tamber::Pause(60000);  // would be a minute without the hook
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
}

}  // namespace
