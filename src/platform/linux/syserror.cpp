#include "platform/syserror.h"

#include <cerrno>
#include <cstring>

#include "platform/strings.h"

namespace Tamber {

uint32_t LastSystemError() { return static_cast<uint32_t>(errno); }

void SetLastSystemError(uint32_t code) { errno = static_cast<int>(code); }

std::size_t SystemErrorText(uint32_t code, char* output, std::size_t outputSize) {
    char text[256];
    // The GNU strerror_r returns the text, which may not be in our buffer.
    const char* message = strerror_r(static_cast<int>(code), text, sizeof text);
    if (message == nullptr || *message == '\0') return 0;
    // Ends in a line end, as the system texts do on Windows.
    return static_cast<std::size_t>(std_snprintf(output, outputSize, "%s\n", message));
}

}  // namespace Tamber
