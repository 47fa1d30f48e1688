// Ends the library's long waits early when their owner is being torn down.
//
// A thread names the interrupt its waits watch for a scope (InterruptScope);
// the process helper's pauses and grace periods and the controller's own waits
// then end as soon as it is raised. All interrupts share one lock and one
// condition, so a wait may watch another condition beside its interrupt: the
// thread that changes that condition calls WakeInterruptWaits().
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/process.h"
#include "platform/wait.h"

namespace Tamber {

class Interrupt {
public:
    Interrupt() = default;
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

    // Raises it for good and wakes every wait that watches it.
    void Raise();
    bool IsRaised() const { return raised_.load(); }
    // Waits up to ms (kWaitForever: no limit) until pred() holds or this is
    // raised. Returns pred().
    template <class Pred>
    bool WaitFor(uint32_t ms, Pred pred) {
        std::unique_lock<std::mutex> lock(SharedLock());
        auto done = [&] { return pred() || IsRaised(); };
        if (ms == kWaitForever)
            SharedCondition().wait(lock, done);
        else
            SharedCondition().wait_for(lock, std::chrono::milliseconds(ms), done);
        return pred();
    }

private:
    friend void WakeInterruptWaits();
    static std::mutex& SharedLock();
    static std::condition_variable& SharedCondition();
    std::atomic<bool> raised_{false};
};

// Wakes every wait on an interrupt, so that each tests its condition again.
void WakeInterruptWaits();

// The interrupt that the calling thread's waits watch, or null.
Interrupt* CurrentInterrupt();
// True when the calling thread's interrupt has been raised.
bool IsInterrupted();

// Makes interrupt the calling thread's for the scope (nested scopes restore).
class InterruptScope {
public:
    explicit InterruptScope(Interrupt* interrupt);
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    Interrupt* previous_;
};

// One of the library's fixed pauses (Pause), ended early by the calling
// thread's interrupt. False when the interrupt ended it.
bool PauseUnlessInterrupted(uint32_t ms);
// A process's end, waited for up to ms; kWoken when the calling thread's
// interrupt ended the wait first.
WaitOutcome WaitForProcessUnlessInterrupted(const ProcessHandle& process, uint32_t ms);

}  // namespace Tamber
