// What the user types: one command per line.
#pragma once

#include <cstdint>
#include <string>

#include "TamberLauncher.h"

namespace Peer {

// The valid message types that can be sent: all but the invalid marker, the last.
constexpr int32_t kFirstType = VANTORMESSAGETYPE_GAMECLIENT_CREATE;
constexpr int32_t kLastType = VANTORMESSAGETYPE_INVALID - 1;

struct Command {
    enum class Kind { kNothing, kSend, kHelp, kQuit, kBad };
    Kind kind = Kind::kNothing;
    int32_t type = 0;         // kSend
    bool hasPayload = false;  // kSend: false sends the message without one
    std::string payload;      // kSend
    std::string error;        // kBad: one line, no "\n"
};

// Reads one line (without its line end): blank, "help", "quit", or
// "TYPE [payload]". TYPE is a number or a name (with or without the
// VANTORMESSAGETYPE_ prefix, any case); the payload is the rest of the line
// after the blanks that follow TYPE, kept as typed.
Command ParseCommand(const std::string& line);

// The constant's name of a message type ("VANTORMESSAGETYPE_INVALID" for one
// without a name).
std::string TypeName(int32_t type);

// One line per valid type: "  11  VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME\n".
std::string TypeListText();

}  // namespace Peer
