// The message reader's byte source over a plain buffer, for the reader's tests
// and its fuzzer: bytes in order, a read of more than is left fails, and every
// length asked for is recorded.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "messaging/message_reader.h"

namespace TamberTest {

class BufferSource : public ByteSource {
public:
    BufferSource(const void* data, std::size_t size) : data_(static_cast<const uint8_t*>(data)), left_(size) {}
    ReadOutcome ReadExactly(void* buffer, std::size_t length) override {
        asked.push_back(length);
        if (length > left_) return ReadOutcome::kFailed;
        if (length > 0) std::memcpy(buffer, data_, length);
        data_ += length;
        left_ -= length;
        return ReadOutcome::kDone;
    }

    std::vector<std::size_t> asked;  // each read's length, in order

private:
    const uint8_t* data_;
    std::size_t left_;
};

}  // namespace TamberTest
