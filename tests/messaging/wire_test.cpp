// The bytes on the wire and how a receiving agent checks and consumes them.
#include <gtest/gtest.h>

#include "agent_fixture.h"
#include "messaging/agent_record.h"
#include "platform/clock.h"

namespace TamberTest {
namespace {

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

using WireBytes = AgentOnPair;

TEST_F(WireBytes, HeartbeatIsSixteenBytes) {
    FastTime time;
    Tamber::TestClock::SetTicks(100000);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitUntil([&] { return agent->lastHeartbeatSeconds.load() != 0; }));
    Tamber::TestClock::SetTicks(agent->lastHeartbeatSeconds.load() * 1000u + 25000u);
    const auto bytes = pair.ReadFar(16);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(Hex(*bytes), "10 00 00 00 01 00 00 00 04 00 00 00 00 00 00 00");
}

TEST_F(WireBytes, ChatMessageWithPayloadIsEighteenBytes) {
    ASSERT_TRUE(Start());
    ASSERT_EQ(VantorMessageAgent_SendMessage(agent, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hi"), 1);
    const auto bytes = pair.ReadFar(18);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(Hex(*bytes), "10 00 00 00 01 00 00 00 0B 00 00 00 02 00 00 00 68 69");
    EXPECT_TRUE(LogHas("INFO: SendMessage [VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME]\n"));
}

TEST_F(WireBytes, NullAndEmptyPayloadsBothLeaveWithLengthZero) {
    ASSERT_TRUE(Start());
    ASSERT_EQ(VantorMessageAgent_SendMessage(agent, 12, nullptr), 1);
    ASSERT_EQ(VantorMessageAgent_SendMessage(agent, 12, ""), 1);
    for (int i = 0; i < 2; ++i) {
        const auto message = ReadMessage();
        ASSERT_TRUE(message);
        EXPECT_EQ(message->type, 12);
        EXPECT_EQ(message->payloadLength, 0);
    }
}

struct BadHeader {
    const char* name;
    uint32_t headerSize;
    uint32_t version;
    int32_t type;
    const char* warnings;  // in the order they must appear, one block
};

class HeaderChecks : public AgentOnPair, public testing::WithParamInterface<BadHeader> {};

// The rejected message is consumed with its payload, delivered as type 35 and
// not answered; the next header is read in step.
TEST_P(HeaderChecks, RejectedMessageIsDeliveredAsInvalidAndStreamStaysAligned) {
    const BadHeader& bad = GetParam();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(HeaderBytes(bad.headerSize, bad.version, bad.type, 3) + "abc" +
                             HeaderBytes(16, 1, 12, 4) + "next"));
    ASSERT_TRUE(recorder.WaitFor(2));
    const auto deliveries = recorder.Deliveries();
    EXPECT_EQ(deliveries[0].type, VANTORMESSAGETYPE_INVALID);
    EXPECT_EQ(deliveries[0].payload, "abc");
    EXPECT_EQ(deliveries[1].type, 12);
    EXPECT_EQ(deliveries[1].payload, "next");

    // Only the good message was answered; its reply left before its delivery.
    const auto reply = ReadMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, VANTORMESSAGETYPE_REPLY);
    EXPECT_FALSE(pair.FarReadable(100));

    EXPECT_TRUE(LogHas(std::string(bad.warnings) + "INFO: ReceiveMessage [VANTORMESSAGETYPE_INVALID]\n"));
    EXPECT_EQ(CountOf(log.Text(), "WARNING: "), CountOf(bad.warnings, "WARNING: "));
}

INSTANTIATE_TEST_SUITE_P(
    Wire, HeaderChecks,
    testing::Values(
        BadHeader{"Size20", 20, 1, 12,
                  "WARNING: Invalid message header size on incoming message.\nWARNING: Invalid message type.\n"},
        BadHeader{"Version2", 16, 2, 12,
                  "WARNING: Invalid version on incoming message.\nWARNING: Invalid message type.\n"},
        BadHeader{"SizeAndVersion", 0, 0, 12,
                  "WARNING: Invalid message header size on incoming message.\n"
                  "WARNING: Invalid version on incoming message.\nWARNING: Invalid message type.\n"},
        BadHeader{"Type35", 16, 1, 35, "WARNING: Invalid message type.\n"},
        BadHeader{"Type1000", 16, 1, 1000, "WARNING: Invalid message type.\n"}),
    [](const testing::TestParamInfo<BadHeader>& param) { return std::string(param.param.name); });

using ReceivedPayloads = AgentOnPair;

TEST_F(ReceivedPayloads, ArriveNulTerminatedOrAsNull) {
    ASSERT_TRUE(Start());
    const std::string big(100000, 'x');
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, 12, 5) + "hello" + HeaderBytes(16, 1, 12, 0) +
                             HeaderBytes(16, 1, 12, -7) + HeaderBytes(16, 1, 11, static_cast<int32_t>(big.size())) +
                             big));
    ASSERT_TRUE(recorder.WaitFor(4));
    const auto deliveries = recorder.Deliveries();
    EXPECT_TRUE(deliveries[0].hasPayload);
    EXPECT_EQ(deliveries[0].payload, "hello");
    EXPECT_FALSE(deliveries[1].hasPayload);
    // A negative length reads nothing and the next header follows at once.
    EXPECT_FALSE(deliveries[2].hasPayload);
    EXPECT_EQ(deliveries[3].payload, big);
}

TEST_F(ReceivedPayloads, AboveSixteenMebibytesEndReadingWithOneWarning) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, 12, 16 * 1024 * 1024 + 1) + "some"));
    ASSERT_TRUE(LogHas("WARNING: Cannot take a payload of 16777217 bytes on incoming message; reading stops.\n"));
    int32_t active = 1;
    ASSERT_TRUE(WaitUntil([&] {
        VantorMessageAgent_GetHeartbeatActive(agent, &active);
        return active == 0;
    }));
    EXPECT_TRUE(recorder.Deliveries().empty());
    EXPECT_FALSE(pair.FarReadable(50));
    EXPECT_EQ(CountOf(log.Text(), "WARNING: "), 1u);
}

TEST_F(ReceivedPayloads, NegativeTypeIsAnsweredAndDeliveredAsItCame) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, -1, 2) + "ok"));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.Deliveries()[0].type, -1);
    EXPECT_EQ(recorder.Deliveries()[0].payload, "ok");
    const auto reply = ReadMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, VANTORMESSAGETYPE_REPLY);
    EXPECT_TRUE(LogHas("INFO: ReceiveMessage [VANTORMESSAGETYPE_INVALID]\n"));
    EXPECT_TRUE(LogLacks("WARNING: "));
}

}  // namespace
}  // namespace TamberTest
