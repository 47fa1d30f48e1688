// The command line of vantor-peer: a mode, a port and the --all switch.
#pragma once

#include <string>

namespace Peer {

enum class Mode { kListen, kConnect, kHelp };

struct Arguments {
    Mode mode = Mode::kHelp;
    int port = 0;
    bool showAll = false;  // also print replies and heartbeats
};

// Reads argv[1..argc-1]. On success fills *arguments and returns true; on a
// bad command line returns false with a one-line reason (no "\n") in *error.
bool ParseArguments(int argc, const char* const* argv, Arguments* arguments, std::string* error);

// A port as typed: decimal digits only, 1..65535. 0 when the text is not one.
int ParsePort(const std::string& text);

// The --help text.
std::string UsageText();

}  // namespace Peer
