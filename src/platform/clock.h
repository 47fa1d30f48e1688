// The multimedia clock, sleeping, and the test hooks that move time.
//
// The clock is milliseconds since system start as a wrapping 32-bit value
// (timeGetTime on Windows, the boot-time clock on Linux) plus a test offset.
// Tests move it and shorten the library's fixed pauses; both hooks are
// internal and never exported.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Tamber {

// Platform part: the system's millisecond ticks, without the test offset.
uint32_t SystemTickMilliseconds();
uint32_t GetTickMilliseconds();
// Whole seconds of the clock: ticks / 1000, so 0..4294967.
uint32_t GetElapsedSeconds();
// Seconds from `earlier` to `now`, both whole seconds of the clock, correct across
// the 49.7-day wrap (the seconds count runs 0..4294967 and then starts at 0 again).
// An `earlier` stamp that is in fact slightly later than `now` gives 0.
uint32_t SecondsBetween(uint32_t earlier, uint32_t now);

// One of the library's fixed pauses (5 s, 250 ms...): at least ms milliseconds,
// or shorter while a test has shortened pauses.
void Pause(uint32_t ms);
// How long Pause(ms) sleeps: ms, or at most a millisecond while a test has shortened pauses.
uint32_t PauseLength(uint32_t ms);
// One of the library's fixed time limits (a send's 10 s...): ms, or a
// hundredth of it (at least 1) while a test has shortened pauses.
uint32_t PauseLimit(uint32_t ms);
// A real sleep, never shortened.
void SleepMilliseconds(uint32_t ms);

// A wait that also ends when the test clock moves, so that timed waits on the
// clock never wait for real in tests.
class ClockWaiter {
public:
    ClockWaiter();
    ~ClockWaiter();
    ClockWaiter(const ClockWaiter&) = delete;
    ClockWaiter& operator=(const ClockWaiter&) = delete;
    // Waits up to realMs milliseconds (0xFFFFFFFF: no limit) under lock until pred()
    // holds, Notify() is called or the test clock moves. Returns pred().
    template <class Pred>
    bool WaitFor(std::unique_lock<std::mutex>& lock, uint32_t realMs, Pred pred) {
        if (pred()) return true;
        const uint64_t seen = generation_;
        auto wake = [&] { return pred() || generation_ != seen; };
        if (realMs == 0xFFFFFFFFu)
            cv_.wait(lock, wake);
        else
            cv_.wait_for(lock, std::chrono::milliseconds(realMs), wake);
        return pred();
    }
    // Wakes the waiter; call with the waiter's lock held.
    void Notify() {
        ++generation_;
        cv_.notify_all();
    }
    std::mutex& Lock() { return mutex_; }

private:
    friend void NotifyClockWaiters();
    std::mutex mutex_;
    std::condition_variable cv_;
    uint64_t generation_ = 0;
    ClockWaiter* next_ = nullptr;
    ClockWaiter* prev_ = nullptr;
};

namespace TestClock {
// Moves the clock forward by ms and wakes every ClockWaiter.
void Advance(uint32_t ms);
// Puts the clock at exactly ticks milliseconds (for example just before the wrap)
// and holds it there: from now on only Advance, SetTicks and Reset move it.
void SetTicks(uint32_t ticks);
// Back to the system clock.
void Reset();
// While set, Pause() returns after at most a millisecond.
void SetShortPauses(bool shortPauses);
}  // namespace TestClock

}  // namespace Tamber
