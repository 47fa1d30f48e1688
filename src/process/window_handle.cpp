#include "process/window_handle.h"

#include <atomic>

namespace {

std::atomic<int32_t> g_windowHandle{0};

}  // namespace

void SetRegisteredWindowHandle(int32_t windowHandle) { g_windowHandle.store(windowHandle); }

int32_t RegisteredWindowHandle() { return g_windowHandle.load(); }
