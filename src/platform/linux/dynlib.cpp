#include "platform/dynlib.h"

#include <dlfcn.h>

namespace Tamber {

LibraryHandle LoadLibraryAtPath(const char* path) {
    return path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
}

void* FindLibraryFunction(LibraryHandle library, const char* name) {
    return library != nullptr ? dlsym(library, name) : nullptr;
}

const char* PatcherLibraryFileName() { return "patcher.so"; }

}  // namespace Tamber
