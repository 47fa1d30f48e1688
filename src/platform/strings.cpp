#include "platform/strings.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace Tamber {
namespace {

AssertionHandler& Handler() {
    static AssertionHandler handler;
    return handler;
}

}  // namespace

void SetAssertionHandler(AssertionHandler handler) { Handler() = std::move(handler); }

void ReportAssertion(const char* expression, int line, const char* function, const char* file,
                     const char* description) {
    std::string report = "Assertion failed!";
    report += "\n\n";
    report += "File: ";
    report += file ? file : "";
    report += "\n";
    report += "Line: ";
    report += std::to_string(line);
    report += "\n\n";
    report += "Function: ";
    report += function ? function : "";
    report += "\n\n";
    report += "Expression: ";
    report += expression ? expression : "";
    if (description && *description) {
        report += "\n\n";
        report += "Description: ";
        report += description;
    }
    const AssertionHandler& handler = Handler();
    if (handler) handler(report.c_str());
}

std::size_t std_strnlen(const char* pStr, std::size_t maxCount) {
    if (pStr == nullptr) {
        ReportAssertion("pStr", __LINE__, "Tamber::std_strnlen", __FILE__, nullptr);
        return 0;
    }
    std::size_t n = 0;
    while (n < maxCount && pStr[n] != '\0') ++n;
    return n;
}

char* std_strncpy(char* pDest, const char* pSrc, std::size_t destSize) {
    if (pDest == nullptr) {
        ReportAssertion("pDest", __LINE__, "Tamber::std_strncpy", __FILE__, nullptr);
        return pDest;
    }
    if (pSrc == nullptr) {
        ReportAssertion("pSrc", __LINE__, "Tamber::std_strncpy", __FILE__, nullptr);
        return pDest;
    }
    if (destSize == 0) return pDest;
    std::size_t n = 0;
    while (n + 1 < destSize && pSrc[n] != '\0') {
        pDest[n] = pSrc[n];
        ++n;
    }
    pDest[n] = '\0';
    return pDest;
}

char* std_strcpy(char* pDest, const char* pSrc) {
    if (pSrc == nullptr) {
        ReportAssertion("pStr", __LINE__, "Tamber::std_strnlen", __FILE__, nullptr);
        return pDest;
    }
    // Bounded to the 260-byte destination: a longer source is cut, never overrun.
    return std_strncpy(pDest, pSrc, kMaxPath);
}

int std_vsnprintf(char* buffer, std::size_t bufferSize, const char* format, va_list args) {
    if (buffer == nullptr || bufferSize == 0) return 0;
    const int wanted = std::vsnprintf(buffer, bufferSize, format, args);
    if (wanted < 0) {
        buffer[0] = '\0';
        return 0;
    }
    const std::size_t written =
        static_cast<std::size_t>(wanted) < bufferSize ? static_cast<std::size_t>(wanted) : bufferSize - 1;
    buffer[written] = '\0';
    return static_cast<int>(written);
}

int std_snprintf(char* buffer, std::size_t bufferSize, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std_vsnprintf(buffer, bufferSize, format, args);
    va_end(args);
    return written;
}

const char* std_strrstr(const char* text, const char* pattern) {
    if (text == nullptr || pattern == nullptr) return nullptr;
    const std::size_t textLength = std::strlen(text);
    const std::size_t patternLength = std::strlen(pattern);
    if (patternLength > textLength) return nullptr;
    for (std::size_t at = textLength - patternLength + 1; at-- > 0;) {
        if (std::memcmp(text + at, pattern, patternLength) == 0) return text + at;
    }
    return nullptr;
}

}  // namespace Tamber
