#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TamberLauncher.h"
#include "platform/clock.h"
#include "child_program.h"
#include "raw_peer.h"
#include "test_support.h"

using TamberTest::CountOf;
using TamberTest::RawListener;
using TamberTest::RawPeer;
using TamberTest::WaitUntil;

namespace {

struct Events {
    std::mutex lock;
    std::vector<std::string> chats;  // "<null>" for a null text
    std::atomic<int> exits{0};
    void* exitUserData = nullptr;
};

void VANTOR_CALL OnExit(void* userData) {
    auto* events = static_cast<Events*>(userData);
    events->exitUserData = userData;
    ++events->exits;
}

void VANTOR_CALL OnChat(void* userData, const char* text) {
    auto* events = static_cast<Events*>(userData);
    std::lock_guard<std::mutex> guard(events->lock);
    events->chats.push_back(text ? text : "<null>");
}

class GameController : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, VantorGameController_Init("first.exe", "second.exe")); }
    void TearDown() override { VantorGameController_Remove(); }

    // Starts the controller against a raw listener and returns the accepted peer.
    std::unique_ptr<RawPeer> Connect() {
        EXPECT_EQ(1, VantorGameController_Start(listener.Port()));
        const Tamber::Socket accepted = listener.Accept();
        EXPECT_NE(Tamber::kNoSocket, accepted);
        return std::make_unique<RawPeer>(accepted);
    }

    std::size_t ChatCount() {
        std::lock_guard<std::mutex> guard(events.lock);
        return events.chats.size();
    }

    TamberTest::LogSession log{"game"};
    TamberTest::FastTime time;
    RawListener listener;
    Events events;
};

TEST(GameControllerUninitialised, EveryExportFailsWithOneLine) {
    TamberTest::LogSession log("none");
    int32_t value = 7;
    EXPECT_EQ(0, VantorGameController_Start(1));
    EXPECT_EQ(0, VantorGameController_SendChatMessage("x"));
    EXPECT_EQ(0, VantorGameController_SetExitCallback(nullptr, nullptr));
    EXPECT_EQ(0, VantorGameController_GetHeartbeatActive(&value));
    EXPECT_EQ(0, VantorGameController_AreProcessesHung(&value));
    EXPECT_EQ(7, value);
    VantorGameController_Init("a", "b");
    EXPECT_EQ(1, VantorGameController_Remove());
    EXPECT_EQ(0, VantorGameController_Remove());
    EXPECT_EQ(6u, CountOf(log.Lines(), "ERROR: VantorGameControllerStruct is not yet initialized.\n"));
}

// Not started: the chat send still answers 1, the status sends 0. A second
// start keeps the first connection.
TEST_F(GameController, StartFailsOnAClosedPortAndOnceStartedIsRefused) {
    EXPECT_EQ(0, VantorGameController_Start(TamberTest::FreePort()));
    EXPECT_TRUE(log.Has("ERROR: Unable to connect to server.\n"));
    EXPECT_EQ(1, VantorGameController_SendChatMessage("hello"));
    EXPECT_EQ(0, VantorGameController_SendShutdownMessage());
    EXPECT_EQ(2u, CountOf(log.Lines(), "ERROR: Cannot send messages when the MessageAgent isn't started.\n"));
    auto peer = Connect();
    EXPECT_EQ(0, VantorGameController_Start(listener.Port()));
    EXPECT_TRUE(log.Has("ERROR: This client has already been started.\n"));
    EXPECT_EQ(1, VantorGameController_SendGameLaunchedMessage());
    auto message = peer->ReceiveSkippingReplies();
    ASSERT_TRUE(message);
    EXPECT_EQ(VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, message->type);
}

// Status messages leave without payload; chat from the launcher reaches the
// callback exactly, other types do not.
TEST_F(GameController, StatusAndChatMessagesBothWays) {
    VantorGameController_SetReceiveChatMessageCallback(&events, OnChat);
    auto peer = Connect();
    EXPECT_EQ(1, VantorGameController_SendGameConnectedToServerMessage());
    EXPECT_EQ(1, VantorGameController_SendGameLaunchedMessage());
    EXPECT_EQ(1, VantorGameController_SendGameVersionMismatchMessage());
    EXPECT_EQ(1, VantorGameController_SendGameAbandonedMessage());
    EXPECT_EQ(1, VantorGameController_SendShutdownMessage());
    EXPECT_EQ(1, VantorGameController_SendChatMessage("gg, well played"));
    for (const auto& [type, payload] : std::vector<std::pair<int32_t, std::string>>{
             {10, ""}, {8, ""}, {9, ""}, {7, ""}, {1, ""}, {VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "gg, well played"}}) {
        auto message = peer->ReceiveSkippingReplies();
        ASSERT_TRUE(message);
        EXPECT_EQ(type, message->type);
        EXPECT_EQ(payload, message->payload);
        EXPECT_EQ(static_cast<int32_t>(payload.size()), message->payloadLength);
    }
    EXPECT_TRUE(log.Has("INFO: SendMessage [VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME]\n"));
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hi there | \"quoted\"");
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME);
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "ignored");
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "last");
    ASSERT_TRUE(WaitUntil([&] { return ChatCount() == 3; }));
    std::lock_guard<std::mutex> guard(events.lock);
    EXPECT_EQ((std::vector<std::string>{"hi there | \"quoted\"", "<null>", "last"}), events.chats);
}

TEST_F(GameController, CloseCallsTheExitCallbackAndKeepsTheConnection) {
    VantorGameController_SetExitCallback(&events, OnExit);
    auto peer = Connect();
    peer->Send(VANTORMESSAGETYPE_CLOSE);
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() == 1; }));
    EXPECT_EQ(&events, events.exitUserData);
    EXPECT_EQ(1, VantorGameController_SendShutdownMessage());
    auto message = peer->ReceiveSkippingReplies();
    ASSERT_TRUE(message);
    EXPECT_EQ(VANTORMESSAGETYPE_GAMECLIENT_STOPPED, message->type);
    EXPECT_EQ(1, events.exits.load());
}

// Without an exit callback a close is warned about, the warning without a
// line feed of its own; a malformed header from the launcher means exit.
TEST_F(GameController, CloseWithoutAnExitCallbackWarnsAndAMalformedHeaderMeansExit) {
    auto peer = Connect();
    peer->Send(VANTORMESSAGETYPE_CLOSE);
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "after");
    EXPECT_TRUE(log.Has("WARNING: No VantorGameController \"Exit\" handler provided.INFO: ReceiveMessage"));
    VantorGameController_SetExitCallback(&events, OnExit);
    peer->SendBytes(TamberTest::HeaderBytes(20, 1, VANTORMESSAGETYPE_HEARTBEAT, 0));
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() == 1; }));
}

// Silence counts from the start, across the wrap of the millisecond clock,
// until a heartbeat arrives.
TEST_F(GameController, HangTestCountsSilenceFromStartAndHeartbeats) {
    for (const uint32_t start : {500000u, 0xFFFFFFFFu - 60000u}) {
        Tamber::TestClock::SetTicks(start);
        auto peer = Connect();
        int32_t hung = -1;
        EXPECT_EQ(1, VantorGameController_AreProcessesHung(&hung));
        EXPECT_EQ(0, hung);
        Tamber::TestClock::Advance(149000u);
        VantorGameController_AreProcessesHung(&hung);
        EXPECT_EQ(0, hung);
        Tamber::TestClock::Advance(1000u);
        VantorGameController_AreProcessesHung(&hung);
        EXPECT_EQ(1, hung);
        peer->Send(VANTORMESSAGETYPE_HEARTBEAT);
        EXPECT_TRUE(WaitUntil([&] { return VantorGameController_AreProcessesHung(&hung), hung == 0; }));
        ASSERT_EQ(1, VantorGameController_Init("first.exe", "second.exe"));
    }
}

TEST_F(GameController, HeartbeatFlagFollowsTheConnection) {
    int32_t active = -1;
    VantorGameController_GetHeartbeatActive(&active);
    EXPECT_EQ(1, active);
    EXPECT_EQ(1, VantorGameController_SetHeartbeatActive(2));
    VantorGameController_GetHeartbeatActive(&active);
    EXPECT_EQ(2, active);
    VantorGameController_SetHeartbeatActive(1);

    VantorServer* server = nullptr;
    VantorServer_Create(&server);
    const uint16_t port = TamberTest::FreePort();
    ASSERT_EQ(1, VantorServer_Start(server, port));
    ASSERT_EQ(1, VantorGameController_Start(port));
    VantorServer_Delete(&server);  // the launcher goes away
    EXPECT_TRUE(WaitUntil([&] {
        VantorGameController_GetHeartbeatActive(&active);
        return active == 0;
    }));
}

TEST_F(GameController, ASecondInitDropsTheFirstConnection) {
    auto peer = Connect();
    ASSERT_EQ(1, VantorGameController_Init("x", "y"));
    EXPECT_TRUE(peer->WaitForClose());
}

struct BlockingChat {
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
};

void VANTOR_CALL BlockInChat(void* userData, const char*) {
    auto* chat = static_cast<BlockingChat*>(userData);
    chat->entered.store(true);
    WaitUntil([chat] { return chat->release.load(); });
}

TEST_F(GameController, RemoveDuringARunningChatCallbackIsSafe) {
    BlockingChat chat;
    VantorGameController_SetReceiveChatMessageCallback(&chat, BlockInChat);
    auto peer = Connect();
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hold");
    ASSERT_TRUE(WaitUntil([&] { return chat.entered.load(); }));
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        chat.release.store(true);
    });
    EXPECT_EQ(1, VantorGameController_Remove());
    releaser.join();
    int32_t hung = 0;
    EXPECT_EQ(0, VantorGameController_AreProcessesHung(&hung));
}

TEST_F(GameController, KillProcessesEndsBothProgramsByName) {
    TamberTest::ChildProgram first;
    TamberTest::ChildProgram second;
    TamberTest::RunningChild a(first);
    TamberTest::RunningChild b(second);
    TamberTest::RunningChild c(second);
    ASSERT_EQ(1, VantorGameController_Init(first.Path().c_str(), second.Path().c_str()));
    EXPECT_EQ(1, VantorGameController_KillProcesses());
    EXPECT_TRUE(TamberTest::WaitForProcessGone(a.Id()));
    EXPECT_TRUE(TamberTest::WaitForProcessGone(b.Id()));
    EXPECT_TRUE(TamberTest::WaitForProcessGone(c.Id()));
}

}  // namespace
