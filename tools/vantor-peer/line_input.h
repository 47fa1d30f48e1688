// Lines from standard input, each of bounded length.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace Peer {

// The longest line taken; a longer one is read to its end and refused.
constexpr std::size_t kMaxLineLength = 65536;

enum class LineStatus { kLine, kTooLong, kEnd };

// Reads the next line of in into *line without its line end ("\n" or "\r\n").
// kEnd at the end of input (or a read error) with nothing read; a last line
// without a line end is still a line.
LineStatus ReadLine(std::FILE* in, std::string* line);

}  // namespace Peer
