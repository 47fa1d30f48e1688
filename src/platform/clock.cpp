// The test hooks behind the clock: an offset added to the system ticks, a
// switch that shortens pauses, and the list of waiters to wake when time moves.
#include "platform/clock.h"

#include <atomic>

namespace Tamber {

namespace {

std::atomic<uint32_t> g_offset{0};
// While frozen the clock stands still between the test's own moves.
std::atomic<bool> g_frozen{false};
std::atomic<uint32_t> g_frozenTicks{0};
std::atomic<bool> g_shortPauses{false};

std::mutex& WaitersLock() {
    static std::mutex lock;
    return lock;
}
ClockWaiter*& WaitersHead() {
    static ClockWaiter* head = nullptr;
    return head;
}

// Whole seconds values run 0..4294967 (the last one lasts 296 ms), then wrap.
constexpr uint32_t kSecondsPerWrap = 4294968u;

}  // namespace

uint32_t GetTickMilliseconds() {
    return g_frozen.load() ? g_frozenTicks.load() : SystemTickMilliseconds() + g_offset.load();
}

uint32_t GetElapsedSeconds() { return GetTickMilliseconds() / 1000u; }

uint32_t SecondsBetween(uint32_t earlier, uint32_t now) {
    if (now >= earlier) return now - earlier;
    const uint32_t acrossWrap = now + (kSecondsPerWrap - earlier);
    // A stamp taken just after `now` (another thread's heartbeat) is no wrap: age 0.
    return acrossWrap <= kSecondsPerWrap / 2 ? acrossWrap : 0;
}

uint32_t PauseLength(uint32_t ms) { return g_shortPauses.load() && ms > 0 ? 1 : ms; }

void Pause(uint32_t ms) { SleepMilliseconds(PauseLength(ms)); }

uint32_t PauseLimit(uint32_t ms) {
    if (!g_shortPauses.load()) return ms;
    return ms >= 100 ? ms / 100 : (ms > 0 ? 1 : 0);
}

ClockWaiter::ClockWaiter() {
    std::lock_guard<std::mutex> guard(WaitersLock());
    next_ = WaitersHead();
    if (next_) next_->prev_ = this;
    WaitersHead() = this;
}

ClockWaiter::~ClockWaiter() {
    std::lock_guard<std::mutex> guard(WaitersLock());
    if (prev_)
        prev_->next_ = next_;
    else
        WaitersHead() = next_;
    if (next_) next_->prev_ = prev_;
}

void NotifyClockWaiters() {
    std::lock_guard<std::mutex> guard(WaitersLock());
    for (ClockWaiter* waiter = WaitersHead(); waiter != nullptr; waiter = waiter->next_) {
        std::lock_guard<std::mutex> waiterGuard(waiter->mutex_);
        waiter->Notify();
    }
}

namespace TestClock {

void Advance(uint32_t ms) {
    if (g_frozen.load())
        g_frozenTicks.fetch_add(ms);
    else
        g_offset.fetch_add(ms);
    NotifyClockWaiters();
}

void SetTicks(uint32_t ticks) {
    g_frozenTicks.store(ticks);
    g_frozen.store(true);
    NotifyClockWaiters();
}

void Reset() {
    g_frozen.store(false);
    g_offset.store(0);
    NotifyClockWaiters();
}

void SetShortPauses(bool shortPauses) { g_shortPauses.store(shortPauses); }

}  // namespace TestClock
}  // namespace Tamber
