#include "messaging/message_reader.h"

#include <cstring>
#include <new>

#include "frame/log.h"
#include "messaging/wire.h"

namespace {

constexpr std::size_t kLineSize = 256;

ReadOutcome RefusePayload(int32_t length) {
    VantorLog_Formatted(kLogWarning, kLineSize,
                        "Cannot take a payload of %d bytes on incoming message; reading stops.\n", length);
    return ReadOutcome::kFailed;
}

}  // namespace

ReadOutcome ReadMessage(ByteSource& source, int32_t& type, std::unique_ptr<char[]>& payload) {
    MessageHeader header;
    payload.reset();
    const ReadOutcome outcome = source.ReadExactly(&header, sizeof header);
    if (outcome != ReadOutcome::kDone) return outcome;
    type = CheckMessageHeader(header);
    if (header.payloadLength <= 0) return ReadOutcome::kDone;
    if (header.payloadLength > kMaxPayloadLength) return RefusePayload(header.payloadLength);
    const std::size_t length = static_cast<std::size_t>(header.payloadLength);
    std::size_t capacity = 0;
    std::size_t received = 0;
    while (received < length) {
        if (received == capacity) {
            const std::size_t grown = capacity == 0 ? kFirstPayloadStep : capacity * 2;
            capacity = grown < length ? grown : length;
            std::unique_ptr<char[]> larger(new (std::nothrow) char[capacity + 1]);
            if (!larger) {
                payload.reset();
                return RefusePayload(header.payloadLength);
            }
            if (received > 0) std::memcpy(larger.get(), payload.get(), received);
            payload = std::move(larger);
        }
        const ReadOutcome step = source.ReadExactly(payload.get() + received, capacity - received);
        if (step != ReadOutcome::kDone) {
            payload.reset();
            return step;
        }
        received = capacity;
    }
    payload[length] = '\0';
    return ReadOutcome::kDone;
}
