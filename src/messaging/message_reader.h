// One message out of a stream of bytes, whatever the bytes come from: the
// agent's connection, or a plain buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

enum class ReadOutcome { kDone, kFailed, kStopped };

class ByteSource {
public:
    // Reads exactly length bytes. kFailed after logging why; kStopped, silently,
    // when the reader was told to stop.
    virtual ReadOutcome ReadExactly(void* buffer, std::size_t length) = 0;

protected:
    ~ByteSource() = default;
};

// The first step of a payload's buffer, and so of its first read; each later
// step doubles the buffer, up to the announced length.
constexpr std::size_t kFirstPayloadStep = 64 * 1024;

// Reads one message: its effective type (after the header checks) and its
// NUL-terminated payload, or none for a length of 0 or less. The payload's
// buffer grows with the bytes that arrive, so a length announced but not
// sent costs no memory; a length above kMaxPayloadLength ends reading.
ReadOutcome ReadMessage(ByteSource& source, int32_t& type, std::unique_ptr<char[]>& payload);
