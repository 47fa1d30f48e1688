// Bounded 8-bit strings and the assertion report raised by their argument checks.
#pragma once

#include <cstddef>
#include <cstdarg>
#include <functional>

namespace Tamber {

constexpr std::size_t kMaxPath = 260;

// Length before the terminator, at most maxCount; 0 after an assertion report for a null string.
std::size_t std_strnlen(const char* pStr, std::size_t maxCount);
// Copies at most destSize - 1 characters and always terminates (destSize 0 copies nothing).
// Null arguments raise the assertion report and copy nothing. Returns pDest.
char* std_strncpy(char* pDest, const char* pSrc, std::size_t destSize);
// Copies into a kMaxPath-byte destination; a longer source is cut at 259 characters.
char* std_strcpy(char* pDest, const char* pSrc);
// printf into bufferSize bytes, truncating; always terminated when bufferSize > 0.
// Returns the number of characters written (not counting the terminator).
int std_snprintf(char* buffer, std::size_t bufferSize, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
int std_vsnprintf(char* buffer, std::size_t bufferSize, const char* format, va_list args);
// Last occurrence of pattern in text, or null.
const char* std_strrstr(const char* text, const char* pattern);

using AssertionHandler = std::function<void(const char* report)>;
// Process-wide receiver of assertion reports; empty by default, so reports go nowhere.
void SetAssertionHandler(AssertionHandler handler);
// Builds the report text and hands it to the handler.
void ReportAssertion(const char* expression, int line, const char* function, const char* file, const char* description);

}  // namespace Tamber
