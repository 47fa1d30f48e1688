// Path splitting with the Windows rules, the same on every platform.
#include "platform/paths.h"

#include <cstring>

#include "platform/strings.h"

namespace Tamber {
namespace {

constexpr std::size_t kDriveSize = 3;
constexpr std::size_t kDirectorySize = 256;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool CopyPart(char* output, std::size_t outputSize, const char* begin, std::size_t length) {
    if (output == nullptr) return true;
    if (length >= outputSize) return false;
    std::memcpy(output, begin, length);
    output[length] = '\0';
    return true;
}

}  // namespace

bool SplitPath(const char* path, char* drive, std::size_t driveSize, char* directory, std::size_t directorySize,
               char* fileName, std::size_t fileNameSize) {
    if (path == nullptr) return false;
    const std::size_t length = std::strlen(path);
    std::size_t driveLength = 0;
    if (length >= 2 && path[1] == ':') driveLength = 2;
    std::size_t fileStart = driveLength;
    for (std::size_t i = driveLength; i < length; ++i)
        if (IsSeparator(path[i])) fileStart = i + 1;
    const std::size_t directoryLength = fileStart - driveLength;
    const std::size_t fileLength = length - fileStart;
    // Check every part before writing any, so a failed split leaves the outputs alone.
    if ((drive && driveLength >= driveSize) || (directory && directoryLength >= directorySize) ||
        (fileName && fileLength >= fileNameSize))
        return false;
    return CopyPart(drive, driveSize, path, driveLength) &&
           CopyPart(directory, directorySize, path + driveLength, directoryLength) &&
           CopyPart(fileName, fileNameSize, path + fileStart, fileLength);
}

bool MakePath(char* output, std::size_t outputSize, const char* drive, const char* directory) {
    const std::size_t driveLength = std::strlen(drive);
    const std::size_t directoryLength = std::strlen(directory);
    if (output == nullptr || driveLength + directoryLength >= outputSize) return false;
    std::memcpy(output, drive, driveLength);
    std::memcpy(output + driveLength, directory, directoryLength);
    output[driveLength + directoryLength] = '\0';
    return true;
}

bool GetParentDirectory(const char* path, char* output) {
    char drive[kDriveSize];
    char directory[kDirectorySize] = {};
    char fileName[kDirectorySize];
    if (!SplitPath(path, drive, sizeof drive, directory, sizeof directory, fileName, sizeof fileName)) return false;
    if (fileName[0] == '\0') {
        const std::size_t length = std::strlen(directory);
        if (length > 0) {
            const char dropped = directory[length - 1];
            directory[length - 1] = '\0';
            // Forward slashes take precedence: only without one is a backslash looked for.
            char* cut = std::strrchr(directory, '/');
            if (cut == nullptr) cut = std::strrchr(directory, '\\');
            if (cut != nullptr)
                cut[1] = '\0';
            else
                directory[length - 1] = dropped;
        }
    }
    return MakePath(output, kDirectorySize, drive, directory);
}

}  // namespace Tamber
