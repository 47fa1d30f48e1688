// The calling thread's last system error, read at the platform boundary.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Tamber {

// GetLastError() on Windows, errno on Linux.
uint32_t LastSystemError();
void SetLastSystemError(uint32_t code);
// The system's text for code, ending in a line end ("\r\n" from FormatMessageA on
// Windows, strerror plus "\n" on Linux). Returns its length; 0 when there is no text.
std::size_t SystemErrorText(uint32_t code, char* output, std::size_t outputSize);

}  // namespace Tamber
