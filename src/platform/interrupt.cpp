#include "platform/interrupt.h"

#include <algorithm>

#include "platform/clock.h"

namespace Tamber {

namespace {

thread_local Interrupt* t_interrupt = nullptr;

// How often a process wait looks at its interrupt: the system's process wait
// cannot watch both.
constexpr uint32_t kProcessWaitSliceMs = 50;

}  // namespace

std::mutex& Interrupt::SharedLock() {
    static std::mutex lock;
    return lock;
}

std::condition_variable& Interrupt::SharedCondition() {
    static std::condition_variable condition;
    return condition;
}

void Interrupt::Raise() {
    {
        std::lock_guard<std::mutex> guard(SharedLock());
        raised_.store(true);
    }
    SharedCondition().notify_all();
}

void WakeInterruptWaits() {
    { std::lock_guard<std::mutex> guard(Interrupt::SharedLock()); }
    Interrupt::SharedCondition().notify_all();
}

Interrupt* CurrentInterrupt() { return t_interrupt; }

bool IsInterrupted() { return t_interrupt != nullptr && t_interrupt->IsRaised(); }

InterruptScope::InterruptScope(Interrupt* interrupt) : previous_(t_interrupt) { t_interrupt = interrupt; }

InterruptScope::~InterruptScope() { t_interrupt = previous_; }

bool PauseUnlessInterrupted(uint32_t ms) {
    Interrupt* interrupt = t_interrupt;
    if (interrupt == nullptr) {
        Pause(ms);
        return true;
    }
    interrupt->WaitFor(PauseLength(ms), [] { return false; });
    return !interrupt->IsRaised();
}

WaitOutcome WaitForProcessUnlessInterrupted(const ProcessHandle& process, uint32_t ms) {
    Interrupt* interrupt = t_interrupt;
    if (interrupt == nullptr) return process.Wait(ms);
    const bool forever = ms == kWaitForever;
    for (uint32_t left = ms;;) {
        if (interrupt->IsRaised()) return WaitOutcome::kWoken;
        const uint32_t slice = forever ? kProcessWaitSliceMs : std::min(left, kProcessWaitSliceMs);
        const WaitOutcome outcome = process.Wait(slice);
        if (outcome != WaitOutcome::kTimedOut) return outcome;
        if (!forever && (left -= slice) == 0) return WaitOutcome::kTimedOut;
    }
}

}  // namespace Tamber
