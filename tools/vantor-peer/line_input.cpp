#include "line_input.h"

#include <cstring>
#include <vector>

namespace Peer {
namespace {

// Skips the rest of an over-long line, its line end included.
void DiscardRestOfLine(std::FILE* in) {
    int c = 0;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
    }
}

}  // namespace

LineStatus ReadLine(std::FILE* in, std::string* line) {
    // Room for the longest line, its "\r\n" and the terminator.
    std::vector<char> buffer(kMaxLineLength + 3);
    if (std::fgets(buffer.data(), static_cast<int>(buffer.size()), in) == nullptr) return LineStatus::kEnd;
    std::size_t length = std::strlen(buffer.data());
    const bool complete = length > 0 && buffer[length - 1] == '\n';
    if (!complete && !std::feof(in)) {
        DiscardRestOfLine(in);
        return LineStatus::kTooLong;
    }
    if (complete) --length;
    if (length > 0 && buffer[length - 1] == '\r') --length;
    if (length > kMaxLineLength) return LineStatus::kTooLong;
    line->assign(buffer.data(), length);
    return LineStatus::kLine;
}

}  // namespace Peer
