#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <process.h>

#include "platform/thread.h"

namespace Tamber {

struct Thread::Native {
    HANDLE handle;
};

namespace {

// _beginthreadex rather than CreateThread: the C runtime sets up its per-thread data.
unsigned __stdcall Trampoline(void* argument) {
    Thread::Run(static_cast<Thread*>(argument));
    return 0;
}

}  // namespace

bool Thread::StartNative(Thread* thread) {
    auto* native = new Native();
    const uintptr_t handle = _beginthreadex(nullptr, 0, Trampoline, thread, 0, nullptr);
    if (handle == 0) {
        delete native;
        return false;
    }
    native->handle = reinterpret_cast<HANDLE>(handle);
    thread->native_ = native;
    return true;
}

// Exit code 0. A killed thread never drops its own reference, so its record stays.
int Thread::TerminateNative(Thread* thread) {
    if (thread->native_ == nullptr) return 0;
    return TerminateThread(thread->native_->handle, 0) != 0 ? 1 : 0;
}

// The handle lives as long as the record; closing it does not stop the thread.
void Thread::ReleaseNative(Thread* thread) {
    if (thread->native_ == nullptr) return;
    CloseHandle(thread->native_->handle);
    delete thread->native_;
    thread->native_ = nullptr;
}

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

}  // namespace Tamber
