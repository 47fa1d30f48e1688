// The message agent's exports: replies and delivery, its misuse checks, a
// peer that goes away, and Delete in the awkward moments.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "agent_fixture.h"
#include "messaging/agent_record.h"

namespace TamberTest {
namespace {

using AgentDelivery = AgentOnPair;

TEST_F(AgentDelivery, ReplyLeavesBeforeTheCallbackRunsAndTheLineBeforeIt) {
    std::atomic<bool> replyWaiting{false};
    std::atomic<bool> lineWritten{false};
    recorder.SetHook([&](int32_t, const char*) {
        replyWaiting = pair.FarReadable(0);
        lineWritten = log.Text().find(OnDisk("INFO: ReceiveMessage [VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME]\n")) !=
                      std::string::npos;
    });
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, 12, 2) + "yo"));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_TRUE(replyWaiting);
    EXPECT_TRUE(lineWritten);
    const auto reply = ReadMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, VANTORMESSAGETYPE_REPLY);
    EXPECT_EQ(reply->payloadLength, 0);
}

TEST_F(AgentDelivery, HeartbeatIsAnsweredReplyIsNotAndNeitherIsLogged) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, 5, 0) + HeaderBytes(16, 1, 4, 0)));
    ASSERT_TRUE(recorder.WaitFor(2));
    EXPECT_EQ(recorder.Deliveries()[0].type, VANTORMESSAGETYPE_REPLY);
    EXPECT_EQ(recorder.Deliveries()[1].type, VANTORMESSAGETYPE_HEARTBEAT);
    const auto reply = ReadMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, VANTORMESSAGETYPE_REPLY);
    EXPECT_FALSE(pair.FarReadable(100));
    EXPECT_TRUE(LogLacks("SendMessage"));
    EXPECT_TRUE(LogLacks("ReceiveMessage"));
}

TEST_F(AgentDelivery, WithoutCallbackTheMessageIsAnsweredAndWarnedAbout) {
    VantorMessageAgent_SetMessageArrivedCallback(agent, nullptr, nullptr);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, 12, 0)));
    const auto reply = ReadMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, VANTORMESSAGETYPE_REPLY);
    EXPECT_TRUE(LogHas("WARNING: Message arived, but there is no MessageArrivedCallback.\n"));
    EXPECT_TRUE(LogLacks("ReceiveMessage"));
}

TEST_F(AgentDelivery, CallbackMaySendOnItsOwnAgent) {
    recorder.SetHook([&](int32_t type, const char*) {
        if (type == VANTORMESSAGETYPE_CLOSE) VantorMessageAgent_SendMessage(agent, VANTORMESSAGETYPE_GAMECLIENT_STOPPED, "bye");
    });
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, VANTORMESSAGETYPE_CLOSE, 0)));
    const auto reply = ReadMessage();
    const auto answer = ReadMessage();
    ASSERT_TRUE(reply && answer);
    EXPECT_EQ(reply->type, VANTORMESSAGETYPE_REPLY);
    EXPECT_EQ(answer->type, VANTORMESSAGETYPE_GAMECLIENT_STOPPED);
    EXPECT_EQ(answer->payload, "bye");
}

using AgentMisuse = AgentOnPair;

TEST_F(AgentMisuse, StartTwiceIsRefused) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Start());
    EXPECT_TRUE(LogHas("ERROR: This MessageAgent is already started.\n"));
    int32_t running = 0;
    VantorMessageAgent_GetIsRunning(agent, &running);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(VantorMessageAgent_SendMessage(agent, 12, "still"), 1);
}

TEST_F(AgentMisuse, SocketZeroIsRefusedAndSendsThenFail) {
    EXPECT_EQ(VantorMessageAgent_Start(agent, 0), 0);
    EXPECT_TRUE(LogHas("ERROR: Socket cannot be null.\n"));
    int32_t running = 1;
    VantorMessageAgent_GetIsRunning(agent, &running);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(VantorMessageAgent_SendMessage(agent, 12, "x"), 0);
    EXPECT_TRUE(LogHas("ERROR: Cannot send messages when the MessageAgent isn't started.\n"));
}

// Only 0 is refused: another unusable handle starts, and its first read and
// every send fail as the system reports.
TEST_F(AgentMisuse, AnUnusableSocketStartsAndItsConnectionEndsAtOnce) {
    // A handle that was never opened (INVALID_SOCKET itself is refused).
    EXPECT_EQ(VantorMessageAgent_Start(agent, static_cast<Tamber::Socket>(0x7ffffff0)), 1);
    EXPECT_TRUE(LogHas("WARNING: Received 0 bytes on Vantor socket when data was expected.\n"));
    int32_t active = 1;
    EXPECT_TRUE(WaitUntil([&] {
        VantorMessageAgent_GetHeartbeatActive(agent, &active);
        return active == 0;
    }));
    EXPECT_EQ(VantorMessageAgent_SendMessage(agent, 12, "x"), 0);
    EXPECT_TRUE(LogHas("WARNING: Failed to send to socket.\n"));
}

TEST_F(AgentMisuse, DeleteOfANeverStartedAgentNullsThePointerQuietly) {
    EXPECT_EQ(VantorMessageAgent_Delete(&agent), 1);
    EXPECT_EQ(agent, nullptr);
    EXPECT_TRUE(LogLacks("WARNING"));
}

using PeerGone = AgentOnPair;

void ExpectConnectionEnded(VantorMessageAgent* agent) {
    int32_t active = 1;
    EXPECT_TRUE(WaitUntil([&] {
        VantorMessageAgent_GetHeartbeatActive(agent, &active);
        return active == 0;
    }));
    int32_t running = 0;
    VantorMessageAgent_GetIsRunning(agent, &running);
    EXPECT_EQ(running, 1);
}

TEST_F(PeerGone, CloseInTheMiddleOfAHeaderDeliversNothing) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, 12, 0).substr(0, 10)));
    pair.CloseFar();
    EXPECT_TRUE(LogHas("INFO: [VantorMessageAgent_ReadFromSocketInternal] "));
    EXPECT_TRUE(LogHas("WARNING: Received 0 bytes on Vantor socket when data was expected.\n"));
    ExpectConnectionEnded(agent);
    EXPECT_TRUE(recorder.Deliveries().empty());
}

TEST_F(PeerGone, ResetIsToldApart) {
    if (!ResetsAreDelivered()) GTEST_SKIP() << "this system turns a zero-linger close into an orderly one";
    ASSERT_TRUE(Start());
    Tamber::SetResetOnClose(pair.Far());
    pair.CloseFar();
    EXPECT_TRUE(LogHas("WARNING: Failed to read from Vantor socket buffer (this may indicate that the other side of "
                       "the connection has closed).\n"));
    EXPECT_TRUE(LogHas("INFO: [VantorMessageAgent_ReadFromSocketInternal] "));
    ExpectConnectionEnded(agent);
    EXPECT_TRUE(LogLacks("Received 0 bytes"));
}

// Sends to a peer that has gone fail and are reported, without SIGPIPE.
TEST_F(PeerGone, SendsFailQuietlyForTheProcess) {
    ASSERT_TRUE(Start());
    pair.CloseFar();
    ExpectConnectionEnded(agent);
    EXPECT_TRUE(WaitUntil([&] { return VantorMessageAgent_SendMessage(agent, 12, "anyone?") == 0; }));
    EXPECT_TRUE(LogHas("WARNING: Failed to send to socket.\n"));
}

using AgentDelete = AgentOnPair;

TEST_F(AgentDelete, OwnersCloseThenDeleteEndsBothThreadsWithoutWarnings) {
    ASSERT_TRUE(Start());
    std::weak_ptr<VantorMessageAgent> record = agent->self;
    pair.CloseNear();
    EXPECT_EQ(VantorMessageAgent_Delete(&agent), 1);
    EXPECT_EQ(agent, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return record.expired(); }));
    EXPECT_TRUE(LogLacks("failed to shut down"));
}

// The owner forgot to close: the agent still stops, and never touches the
// owner's socket, which stays usable.
TEST_F(AgentDelete, WithTheSocketStillOpenEndsBothThreadsWithoutWarnings) {
    ASSERT_TRUE(Start());
    std::weak_ptr<VantorMessageAgent> record = agent->self;
    EXPECT_EQ(VantorMessageAgent_Delete(&agent), 1);
    EXPECT_TRUE(WaitUntil([&] { return record.expired(); }));
    EXPECT_TRUE(LogLacks("failed to shut down"));
    const std::string bytes = HeaderBytes(16, 1, 12, 0);
    ASSERT_TRUE(Tamber::SendGather(pair.Near(), bytes.data(), bytes.size(), nullptr, 0));
    EXPECT_EQ(pair.ReadFar(16), bytes);
}

TEST_F(AgentDelete, WhileTheCallbackIsBlockedWarnsAndFreesOnlyAfterIt) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> entered{false};
    recorder.SetHook([&, released](int32_t, const char*) {
        entered = true;
        released.wait();
    });
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.SendFar(HeaderBytes(16, 1, 12, 0)));
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    std::weak_ptr<VantorMessageAgent> record = agent->self;
    pair.CloseNear();
    EXPECT_EQ(VantorMessageAgent_Delete(&agent), 1);
    EXPECT_TRUE(LogHas("WARNING: SocketThread failed to shut down correctly.\n"));
    EXPECT_TRUE(LogLacks("HeartbeatThread failed"));
    EXPECT_FALSE(record.expired());
    release.set_value();
    EXPECT_TRUE(WaitUntil([&] { return record.expired(); }));
}

}  // namespace
}  // namespace TamberTest
