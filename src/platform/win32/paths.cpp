#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>

#include "platform/paths.h"
#include "platform/strings.h"

namespace Tamber {

bool GetModuleDirectory(char* output, std::size_t outputSize) {
    if (output == nullptr) return false;
    char exe[256];
    // The process image, not this library: the host executable's folder.
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), exe, sizeof exe);
    // A full buffer means a cut path, whose folder would be wrong.
    if (length == 0 || length >= sizeof exe) return false;
    char drive[3];
    char directory[256];
    if (!SplitPath(exe, drive, sizeof drive, directory, sizeof directory, nullptr, 0)) return false;
    return MakePath(output, outputSize, drive, directory);
}

bool FileExists(const char* path) { return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool DeleteFileAtPath(const char* path) { return path != nullptr && DeleteFileA(path) != 0; }

bool GetCurrentDirectoryPath(char* output) {
    if (output == nullptr) return false;
    // Too small a buffer gives the size it would need and leaves the buffer alone.
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(kMaxPath), output);
    return length > 0 && length < kMaxPath;
}

bool GetFullPath(const char* path, char* output) {
    if (path == nullptr || output == nullptr) return false;
    return _fullpath(output, path, kMaxPath) != nullptr;
}

const char* PathSeparator() { return "\\"; }

}  // namespace Tamber
