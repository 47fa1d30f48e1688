#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/shared_mutex.h"
#include "platform/thread.h"
#include "test_support.h"

namespace {

struct Gate {
    std::atomic<bool> open{false};
    std::atomic<bool> entered{false};
    std::weak_ptr<Tamber::Thread>* watched = nullptr;
    std::atomic<bool> recordAliveInside{false};
};

uint32_t WaitAtGate(void* argument) {
    auto* gate = static_cast<Gate*>(argument);
    gate->entered.store(true);
    TamberTest::WaitUntil([gate] { return gate->open.load(); });
    gate->recordAliveInside.store(!gate->watched->expired());
    return 0;
}

TEST(Thread, RecordOutlivesEveryOutsideOwnerUntilItsFunctionReturns) {
    Gate gate;
    std::weak_ptr<Tamber::Thread> watch;
    gate.watched = &watch;
    auto thread = Tamber::Thread::Create(WaitAtGate, &gate);
    ASSERT_TRUE(thread);
    watch = thread;
    ASSERT_TRUE(TamberTest::WaitUntil([&] { return gate.entered.load(); }));
    EXPECT_EQ(Tamber::WaitOutcome::kTimedOut, thread->Join(10));  // still running: time-out
    thread.reset();
    EXPECT_FALSE(watch.expired());
    gate.open.store(true);
    EXPECT_TRUE(TamberTest::WaitUntil([&] { return watch.expired(); }));
    EXPECT_TRUE(gate.recordAliveInside.load());
}

TEST(Mutex, LockAndUnlockFromSeveralThreads) {
    auto mutex = Tamber::Mutex::Create();
    int counter = 0;
    struct Shared {
        std::shared_ptr<Tamber::Mutex> mutex;
        int* counter;
    } shared{mutex, &counter};
    auto work = [](void* argument) -> uint32_t {
        auto* s = static_cast<Shared*>(argument);
        for (int i = 0; i < 10000; ++i) {
            Tamber::ScopedLock lock(s->mutex);
            ++*s->counter;
        }
        return 0;
    };
    auto a = Tamber::Thread::Create(work, &shared);
    auto b = Tamber::Thread::Create(work, &shared);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(Tamber::WaitOutcome::kDone, a->Join(Tamber::kWaitForever));
    EXPECT_EQ(Tamber::WaitOutcome::kDone, b->Join(Tamber::kWaitForever));
    EXPECT_EQ(20000, counter);
}

TEST(MutexDeathTest, LockingTwiceStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto mutex = Tamber::Mutex::Create();
            mutex->Lock();
            mutex->Lock();
        },
        "locked twice");
}

TEST(MutexDeathTest, UnlockingAForeignLockStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(Tamber::Mutex::Create()->Unlock(), "does not hold it");
}

std::string UniqueName() { return "TAMBER_TEST_" + TamberTest::RandomHex(10); }

TEST(InstanceSemaphore, FirstCreatorHoldsSecondCarriesOn) {
    const std::string name = UniqueName();
    auto first = Tamber::SharedMutex::Create(name.c_str());
    ASSERT_TRUE(first->Holds());
    auto second = Tamber::SharedMutex::Create(name.c_str());
    EXPECT_FALSE(second->Holds());
    first.reset();
    auto third = Tamber::SharedMutex::Create(name.c_str());
    EXPECT_TRUE(third->Holds());
}

// A name that a re-executed death-test child sees too: it inherits the environment.
std::string NameSharedWithChildren() {
    const char* kVariable = "TAMBER_TEST_SEMAPHORE";
    if (const char* inherited = std::getenv(kVariable)) return inherited;
    const std::string name = UniqueName();
#ifdef _WIN32
    _putenv_s(kVariable, name.c_str());
#else
    setenv(kVariable, name.c_str(), 1);
#endif
    return name;
}

TEST(InstanceSemaphoreDeathTest, AnotherProcessFindsItHeld) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string name = NameSharedWithChildren();
    auto held = Tamber::SharedMutex::Create(name.c_str());
    EXPECT_EXIT(std::exit(Tamber::SharedMutex::Create(name.c_str())->Holds() ? 1 : 3),
                testing::ExitedWithCode(3), "");
    EXPECT_TRUE(held->Holds());
}

TEST(InstanceSemaphoreDeathTest, ReleasedWhenTheHolderDies) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string name = NameSharedWithChildren();
    EXPECT_EXIT(
        {
            auto holder = Tamber::SharedMutex::Create(name.c_str());
            std::_Exit(holder->Holds() ? 5 : 6);  // dies without releasing anything itself
        },
        testing::ExitedWithCode(5), "");
    EXPECT_TRUE(Tamber::SharedMutex::Create(name.c_str())->Holds());
}

}  // namespace
