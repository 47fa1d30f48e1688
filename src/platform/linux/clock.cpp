#include <cerrno>
#include <cstdint>
#include <ctime>

#include "platform/clock.h"

namespace Tamber {

uint32_t SystemTickMilliseconds() {
    // Since boot, suspend included, like timeGetTime; wraps in 32 bits.
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void SleepMilliseconds(uint32_t ms) {
    timespec rest{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

}  // namespace Tamber
