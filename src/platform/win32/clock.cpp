#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// mmsystem.h needs windows.h first.
#include <mmsystem.h>

#include <cstdint>

#include "platform/clock.h"

namespace Tamber {

// The multimedia clock: milliseconds since system start, wrapping in 32 bits.
uint32_t SystemTickMilliseconds() { return timeGetTime(); }

void SleepMilliseconds(uint32_t ms) { Sleep(ms); }

}  // namespace Tamber
