// The window handle that the launcher registered, as a plain 32-bit value
// (0 until one is registered). Any thread may set or read it.
#pragma once

#include <cstdint>

void SetRegisteredWindowHandle(int32_t windowHandle);
int32_t RegisteredWindowHandle();
