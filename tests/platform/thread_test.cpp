// Library threads and locks: a thread record outlives its owners until its
// function returns; misusing a lock stops the process.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/thread.h"
#include "test_support.h"

namespace {

struct Gate {
    std::atomic<bool> open{false}, entered{false}, recordAliveInside{false};
    std::weak_ptr<Tamber::Thread> watched;
};

TEST(Thread, RecordOutlivesEveryOutsideOwnerUntilItsFunctionReturns) {
    static Gate gate;
    auto thread = Tamber::Thread::Create(
        [](void*) -> uint32_t {
            gate.entered.store(true);
            TamberTest::WaitUntil([] { return gate.open.load(); });
            gate.recordAliveInside.store(!gate.watched.expired());
            return 0;
        },
        nullptr);
    ASSERT_TRUE(thread);
    gate.watched = thread;
    ASSERT_TRUE(TamberTest::WaitUntil([&] { return gate.entered.load(); }));
    EXPECT_EQ(Tamber::WaitOutcome::kTimedOut, thread->Join(10));  // still running: time-out
    thread.reset();
    EXPECT_FALSE(gate.watched.expired());
    gate.open.store(true);
    EXPECT_TRUE(TamberTest::WaitUntil([&] { return gate.watched.expired(); }));
    EXPECT_TRUE(gate.recordAliveInside.load());
}

TEST(MutexDeathTest, LockingTwiceOrUnlockingAForeignLockStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(Tamber::Mutex::Create()->Unlock(), "does not hold it");
    EXPECT_DEATH(
        {
            auto mutex = Tamber::Mutex::Create();
            mutex->Lock();
            mutex->Lock();
        },
        "locked twice");
}

}  // namespace
