#include "process/command_line.h"

#include <cstring>

std::string BuildCommandLine(const char* executablePath, const char* arguments) {
    const char* path = executablePath != nullptr ? executablePath : "";
    const char* rest = arguments != nullptr ? arguments : "";
    std::string line;
    line.reserve(std::strlen(path) + std::strlen(rest) + 3);
    const bool quote = std::strchr(path, ' ') != nullptr;
    if (quote) line += '"';
    line += path;
    if (quote) line += '"';
    if (*rest != '\0') {
        line += ' ';
        line += rest;
    }
    return line;
}
