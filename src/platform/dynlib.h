// Dynamic libraries: load by path, look up functions by name. Never unloaded.
#pragma once

namespace Tamber {

using LibraryHandle = void*;
// Null when the library cannot be loaded.
LibraryHandle LoadLibraryAtPath(const char* path);
// Null when the library has no such function.
void* FindLibraryFunction(LibraryHandle library, const char* name);
// "patcher.dll" on Windows, "patcher.so" on Linux: the patcher library's file name.
const char* PatcherLibraryFileName();

}  // namespace Tamber
