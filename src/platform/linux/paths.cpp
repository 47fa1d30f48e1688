#include "platform/paths.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/strings.h"

namespace Tamber {

bool GetModuleDirectory(char* output, std::size_t outputSize) {
    if (output == nullptr) return false;
    char exe[256];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof exe - 1) return false;
    exe[length] = '\0';
    char drive[3];
    char directory[256];
    if (!SplitPath(exe, drive, sizeof drive, directory, sizeof directory, nullptr, 0)) return false;
    return MakePath(output, outputSize, drive, directory);
}

bool FileExists(const char* path) {
    struct stat info;
    return path != nullptr && stat(path, &info) == 0;
}

bool DeleteFileAtPath(const char* path) { return path != nullptr && unlink(path) == 0; }

bool GetCurrentDirectoryPath(char* output) {
    // Older C libraries report a directory outside the process's root as
    // "(unreachable)/...": no path to put files under.
    return getcwd(output, kMaxPath) != nullptr && output[0] == '/';
}

bool GetFullPath(const char* path, char* output) {
    if (path == nullptr || output == nullptr) return false;
    if (path[0] == '/') {
        if (std_strnlen(path, kMaxPath) >= kMaxPath) return false;
        std_strncpy(output, path, kMaxPath);
        return true;
    }
    char current[kMaxPath];
    if (!GetCurrentDirectoryPath(current)) return false;
    if (path[0] == '\0') {
        std_strncpy(output, current, kMaxPath);
        return true;
    }
    if (std_strnlen(current, kMaxPath) + 1 + std_strnlen(path, kMaxPath) >= kMaxPath) return false;
    std_snprintf(output, kMaxPath, "%s/%s", current, path);
    return true;
}

const char* PathSeparator() { return "/"; }

}  // namespace Tamber
