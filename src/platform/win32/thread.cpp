#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <process.h>

#include "platform/thread.h"

namespace Tamber {

struct Thread::Native {
    HANDLE handle;
};

namespace {

// What a new thread receives: its record, and the reference to the module
// holding this code that the thread gives back as it exits.
struct Start {
    Thread* thread;
    HMODULE module;
};

// _beginthreadex rather than CreateThread: the C runtime sets up its per-thread data.
// The thread ends through FreeLibraryAndExitThread, never by returning: a host
// may unload the library while the thread runs, and the return would then
// land in unmapped code.
unsigned __stdcall Trampoline(void* argument) {
    const Start start = *static_cast<Start*>(argument);
    delete static_cast<Start*>(argument);
    Thread::Run(start.thread);
    FreeLibraryAndExitThread(start.module, 0);
}

// A reference to the module that holds this code (the DLL, or the executable
// it is linked into), taken for the new thread before it starts.
HMODULE ReferenceOwnModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<const void*>(&Trampoline)), &module))
        return nullptr;
    return module;
}

}  // namespace

bool Thread::StartNative(Thread* thread) {
    const HMODULE module = ReferenceOwnModule();
    if (module == nullptr) return false;
    auto* start = new Start{thread, module};
    auto* native = new Native();
    const uintptr_t handle = _beginthreadex(nullptr, 0, Trampoline, start, 0, nullptr);
    if (handle == 0) {
        const DWORD error = GetLastError();
        delete native;
        delete start;
        FreeLibrary(module);
        SetLastError(error);
        return false;
    }
    native->handle = reinterpret_cast<HANDLE>(handle);
    thread->native_ = native;
    return true;
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
