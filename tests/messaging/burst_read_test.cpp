// Messages that reach an agent together, split into pieces or larger than one
// receive: each is answered before it is delivered, in arrival order, one at
// a time, with its payload intact.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "platform/clock.h"

namespace TamberTest {
namespace {

struct Sent {
    int32_t type;
    std::string payload;
};

std::string Letters(std::size_t length, std::size_t seed) {
    std::string text(length, 'a');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + (seed + i) % 26);
    return text;
}

std::string Bytes(const std::vector<Sent>& messages) {
    std::string bytes;
    for (const Sent& message : messages)
        bytes += HeaderBytes(16, 1, message.type, static_cast<int32_t>(message.payload.size())) + message.payload;
    return bytes;
}

class BurstReads : public AgentOnPair {
protected:
    // Each delivery takes the reply that must already be on the wire for it.
    void ExpectEachReplyBeforeItsDelivery() {
        recorder.SetHook([this](int32_t, const char*) {
            const auto reply = TamberTest::ReadMessage(pair.Far(), 5000);
            if (reply && reply->type == VANTORMESSAGETYPE_REPLY) ++repliesFirst;
        });
    }
    void ExpectDelivered(const std::vector<Sent>& sent) {
        ASSERT_TRUE(recorder.WaitFor(sent.size()));
        const std::vector<Delivery> deliveries = recorder.Deliveries();
        ASSERT_EQ(deliveries.size(), sent.size());
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(deliveries[i].type, sent[i].type) << "message " << i;
            EXPECT_EQ(deliveries[i].hasPayload, !sent[i].payload.empty()) << "message " << i;
            EXPECT_EQ(deliveries[i].payload, sent[i].payload) << "message " << i;
        }
        EXPECT_EQ(repliesFirst.load(), static_cast<int>(sent.size()));
    }
    std::atomic<int> repliesFirst{0};
};

TEST_F(BurstReads, ManyMessagesInOneSendAreAnsweredAndDeliveredOneByOneInOrder) {
    std::vector<Sent> sent;
    for (std::size_t i = 0; i < 300; ++i) {
        const int32_t type = i % 2 == 0 ? VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME : VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED;
        sent.push_back({type, i % 3 == 0 ? std::string() : Letters(i * 7 % 61, i)});
    }
    ExpectEachReplyBeforeItsDelivery();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(Bytes(sent)));
    ExpectDelivered(sent);
}

TEST_F(BurstReads, PayloadsAroundAndAboveOneReceiveArriveWhole) {
    std::vector<Sent> sent;
    for (const std::size_t length : {4079u, 4080u, 4095u, 4096u, 4097u, 10000u, 70000u, 1u}) {
        sent.push_back({VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, Letters(length, length)});
        sent.push_back({VANTORMESSAGETYPE_HEARTBEAT, ""});
    }
    ExpectEachReplyBeforeItsDelivery();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(Bytes(sent)));
    ExpectDelivered(sent);
}

TEST_F(BurstReads, MessagesTrickledByteByByteArriveWhole) {
    const std::vector<Sent> sent = {{VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hello"},
                                    {VANTORMESSAGETYPE_CLOSE, ""},
                                    {VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "bye"}};
    ExpectEachReplyBeforeItsDelivery();
    ASSERT_TRUE(Start());
    for (const char byte : Bytes(sent)) {
        ASSERT_TRUE(pair.SendFar(std::string(1, byte)));
        Tamber::SleepMilliseconds(1);
    }
    ExpectDelivered(sent);
}

TEST_F(BurstReads, EndOfConnectionInsideABufferedMessageIsAReadFailure) {
    ASSERT_TRUE(Start());
    // A whole message, then ten bytes of the next header, then the end.
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, 12, 2) + "hi" + HeaderBytes(16, 1, 12, 0).substr(0, 10)));
    pair.CloseFar();
    ASSERT_TRUE(LogHas("WARNING: Received 0 bytes on Vantor socket when data was expected.\n"));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.Deliveries().size(), 1u);
    EXPECT_EQ(recorder.Deliveries()[0].payload, "hi");
}

}  // namespace
}  // namespace TamberTest
