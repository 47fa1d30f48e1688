// The frame of every message on a connection: a 16-byte header, copied to and
// from the wire as it lies in memory (little-endian, no conversion), then
// payloadLength bytes of text without a terminating NUL.
#pragma once

#include <cstdint>

#include "TamberLauncher.h"

struct MessageHeader {
    uint32_t headerSize;
    uint32_t version;
    int32_t type;
    int32_t payloadLength;
};
static_assert(sizeof(MessageHeader) == 16, "the header is four 32-bit fields with no padding");

constexpr uint32_t kMessageHeaderSize = 16;
constexpr uint32_t kMessageVersion = 1;
// A larger announced payload ends reading on the connection: nothing in the
// protocol comes near it, and it bounds what a peer can make us allocate.
constexpr int32_t kMaxPayloadLength = 16 * 1024 * 1024;
// Heartbeats go every 25 s; a peer silent for six of them is taken for hung.
constexpr uint32_t kHeartbeatSeconds = 25;
constexpr uint32_t kSilenceLimitSeconds = 150;

MessageHeader MakeMessageHeader(int32_t type, int32_t payloadLength);

// The type to deliver: the header's own, or VANTORMESSAGETYPE_INVALID after the
// checks of size, version and type, each logging its warning in that order.
// Negative types pass, as the protocol has always let them.
int32_t CheckMessageHeader(const MessageHeader& header);

// Whether a message of this effective type is answered with a reply.
bool IsAnswered(int32_t type);
// Logs format ("SendMessage [%s]\n" or "ReceiveMessage [%s]\n") with the
// type's name at INFO, except for heartbeats and replies, which are never logged.
void LogMessageType(const char* format, int32_t type);
