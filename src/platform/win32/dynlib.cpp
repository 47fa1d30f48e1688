#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/dynlib.h"

namespace Tamber {

LibraryHandle LoadLibraryAtPath(const char* path) {
    return path != nullptr ? reinterpret_cast<LibraryHandle>(LoadLibraryA(path)) : nullptr;
}

void* FindLibraryFunction(LibraryHandle library, const char* name) {
    if (library == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

const char* PatcherLibraryFileName() { return "patcher.dll"; }

}  // namespace Tamber
