// What the peer prints. Messages arrive on the library's socket threads (one
// per connection), so every line is written whole under one lock and flushed
// at once, which keeps lines apart and readable through a pipe.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace Peer {

// A received message as one line, without its "\n":
//   received VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME (12) "hello"
//   received VANTORMESSAGETYPE_CLOSE (3) (no payload)
// payload may be null. Control characters, quotes and backslashes in the
// payload are escaped so that the line stays one line.
std::string FormatReceived(int32_t type, const char* payload);

class Output {
public:
    explicit Output(bool showAll) : showAll_(showAll) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Prints a received message on standard output; replies and heartbeats
    // only when showAll was asked for.
    void Received(int32_t type, const char* payload);
    // Text as it is, on standard output.
    void Text(const std::string& text);
    // "vantor-peer: <line>" on standard error; line without "\n".
    void Note(const std::string& line);

private:
    std::mutex lock_;
    const bool showAll_;
};

}  // namespace Peer
