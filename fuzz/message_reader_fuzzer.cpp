// Arbitrary bytes through the message reader alone, from a buffer: header
// checks and payload assembly without sockets or threads, so that thousands
// of inputs run each second.
#include <cstddef>
#include <cstring>

#include "messaging/message_reader.h"

namespace {

struct BufferSource : ByteSource {
    BufferSource(const uint8_t* data, std::size_t size) : data_(data), left_(size) {}
    ReadOutcome ReadExactly(void* buffer, std::size_t length) override {
        if (length > left_) return ReadOutcome::kFailed;
        if (length > 0) std::memcpy(buffer, data_, length);
        data_ += length;
        left_ -= length;
        return ReadOutcome::kDone;
    }
    const uint8_t* data_;
    std::size_t left_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    BufferSource source(data, size);
    volatile std::size_t touched = 0;
    for (;;) {
        int32_t type = 0;
        std::unique_ptr<char[]> payload;
        if (ReadMessage(source, type, payload) != ReadOutcome::kDone) break;
        // Reads every byte of the payload, so that a missing terminator shows as an overflow.
        if (payload) touched = touched + std::strlen(payload.get()) + static_cast<std::size_t>(type & 1);
    }
    return 0;
}
