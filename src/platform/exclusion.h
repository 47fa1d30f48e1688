// The exclusion that lets one controller Init or Remove run at a time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Tamber {

// Held by one thread at a time and re-entered by its holder (an Init after a
// Remove in the same callback). A thread inside a host callback never waits
// for it, since the holder may be waiting for that callback; and when it takes
// it there, it keeps it until its outermost callback returns, so that a thread
// waiting for it also waits for the host's code that follows in the callback.
class TeardownExclusion {
public:
    // False, with nothing taken, when another thread holds it and the caller
    // is inside a callback; otherwise waits for it.
    bool Enter(bool insideCallback);
    // Gives back one Enter; inside a callback the last is kept until CallbacksLeft.
    void Leave(bool insideCallback);
    // The calling thread's outermost callback has returned.
    void CallbacksLeft();

private:
    void Release(std::unique_lock<std::mutex>& lock);

    std::mutex lock_;
    std::condition_variable released_;
    uint32_t owner_ = 0;
    int depth_ = 0;
    bool keptPastCallback_ = false;
};

}  // namespace Tamber
