#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>

#include "platform/shared_mutex.h"

namespace Tamber {

// A named semaphore with count 1: it exists while any process has a handle on it.
std::shared_ptr<SharedMutex> SharedMutex::Create(const char* name) {
    std::shared_ptr<SharedMutex> holder(new SharedMutex());
    HANDLE handle = CreateSemaphoreA(nullptr, 1, 1, name);
    if (handle == nullptr) return holder;
    holder->held_ = true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(handle);  // another process created it first: hold nothing, carry on
        return holder;
    }
    holder->handle_ = static_cast<long long>(reinterpret_cast<intptr_t>(handle));
    holder->name_ = name;
    return holder;
}

SharedMutex::~SharedMutex() {
    if (handle_ != kNoHandle) CloseHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle_)));
}

}  // namespace Tamber
