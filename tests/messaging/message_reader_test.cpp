// The message reader on its own, over a buffer: what it asks its source for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "messaging/message_reader.h"
#include "messaging/wire.h"
#include "raw_peer.h"

namespace TamberTest {
namespace {

using testing::ElementsAre;

// Bytes in order from a buffer; a read of more than is left fails; every
// length asked for is recorded.
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

    std::vector<std::size_t> asked;

private:
    const uint8_t* data_;
    std::size_t left_;
};

// The payload's buffer, and so each read, grows with the bytes that came: a
// length announced but not sent costs at most the first step.
TEST(MessageReader, ReadsGrowWithThePayloadThatArrives) {
    const std::size_t k = kFirstPayloadStep;
    const std::string whole = Encode(12, std::string(4 * k + 100, 'p'));
    const std::string announced = HeaderBytes(16, 1, 12, kMaxPayloadLength) + std::string(100, 'p');
    int32_t type = -1;
    std::unique_ptr<char[]> payload;
    BufferSource source(whole.data(), whole.size());
    ASSERT_EQ(ReadMessage(source, type, payload), ReadOutcome::kDone);
    ASSERT_TRUE(payload);
    EXPECT_THAT(source.asked, ElementsAre(sizeof(MessageHeader), k, k, 2 * k, 100));
    EXPECT_EQ(std::make_tuple(type, std::string(payload.get())), std::make_tuple(12, whole.substr(16)));
    BufferSource stalled(announced.data(), announced.size());
    EXPECT_EQ(ReadMessage(stalled, type, payload), ReadOutcome::kFailed);
    EXPECT_THAT(stalled.asked, ElementsAre(sizeof(MessageHeader), k));
    EXPECT_FALSE(payload);
}

}  // namespace
}  // namespace TamberTest
