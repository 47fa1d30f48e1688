#include "platform/command_line.h"

namespace Tamber {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program name: quotes toggle, nothing is escaped.
const char* ReadProgramName(const char* p, std::string& word) {
    bool inQuotes = false;
    for (; *p != '\0' && (inQuotes || !IsBlank(*p)); ++p) {
        if (*p == '"')
            inQuotes = !inQuotes;
        else
            word += *p;
    }
    return p;
}

const char* ReadArgument(const char* p, std::string& word) {
    bool inQuotes = false;
    for (;;) {
        std::size_t backslashes = 0;
        while (*p == '\\') {
            ++backslashes;
            ++p;
        }
        bool literal = true;
        if (*p == '"') {
            if (backslashes % 2 == 0) {
                if (inQuotes && p[1] == '"') {
                    ++p;
                } else {
                    literal = false;
                    inQuotes = !inQuotes;
                }
            }
            backslashes /= 2;
        }
        word.append(backslashes, '\\');
        if (*p == '\0' || (!inQuotes && IsBlank(*p))) return p;
        if (literal) word += *p;
        ++p;
    }
}

}  // namespace

std::vector<std::string> SplitCommandLine(const char* commandLine) {
    std::vector<std::string> words;
    if (commandLine == nullptr || *commandLine == '\0') return words;
    words.emplace_back();
    const char* p = ReadProgramName(commandLine, words.back());
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == '\0') return words;
        words.emplace_back();
        p = ReadArgument(p, words.back());
    }
}

}  // namespace Tamber
