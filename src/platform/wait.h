// The outcome of every bounded wait of the platform layer: a thread's or a
// process's end, a readable socket, a send that needs room.
#pragma once

#include <cstdint>

namespace Tamber {

enum class WaitOutcome {
    kDone,      // what was waited for happened
    kWoken,     // the wake-up watched beside it came first
    kTimedOut,  // the time ran out (for a send: no progress for that long)
    kFailed,    // the system reported an error
};

// A wait time that means no limit.
constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

}  // namespace Tamber
