// Paths and files. Splitting follows the Windows rules on every platform:
// an optional drive letter, both separators, forward slash first in the parent rule.
#pragma once

#include <cstddef>

namespace Tamber {

// Drive (3 bytes), directory (256 bytes) and file name with extension of path.
// False when a part does not fit its buffer; outputs are then untouched.
bool SplitPath(const char* path, char* drive, std::size_t driveSize, char* directory, std::size_t directorySize,
               char* fileName, std::size_t fileNameSize);
// drive + directory into output (outputSize bytes); false when it does not fit.
bool MakePath(char* output, std::size_t outputSize, const char* drive, const char* directory);

// Directory of the host executable with its trailing separator (not the library's own).
bool GetModuleDirectory(char* output, std::size_t outputSize);
// Parent directory of path into a 256-byte output: the directory that holds a file,
// or one level up for a path ending in a separator.
bool GetParentDirectory(const char* path, char* output);

// A directory counts as existing.
bool FileExists(const char* path);
bool DeleteFileAtPath(const char* path);
// Current working directory into a kMaxPath-byte buffer (backslashes on Windows).
bool GetCurrentDirectoryPath(char* output);
// Absolute form of path into a kMaxPath-byte buffer; false when it cannot be made.
bool GetFullPath(const char* path, char* output);
// The platform's separator for joining a directory and a file name ("\\" or "/").
const char* PathSeparator();

}  // namespace Tamber
