#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/strings.h"
#include "platform/syserror.h"

namespace Tamber {

uint32_t LastSystemError() { return GetLastError(); }

void SetLastSystemError(uint32_t code) { SetLastError(code); }

std::size_t SystemErrorText(uint32_t code, char* output, std::size_t outputSize) {
    // Some system texts hold inserts such as "%1"; without arguments to fill them
    // FormatMessageA would read arguments that were never passed, so they stay as text.
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    char* text = nullptr;
    const DWORD length = FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return 0;
    const int written = std_snprintf(output, outputSize, "%s", text);
    LocalFree(text);
    return static_cast<std::size_t>(written);
}

}  // namespace Tamber
