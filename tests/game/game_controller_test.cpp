#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "child_program.h"
#include "platform/clock.h"
#include "raw_peer.h"

using namespace TamberTest;

namespace {

// What the game's callbacks saw; chat callbacks wait while hold is set.
struct Events {
    std::mutex lock;
    std::vector<std::string> chats;  // "<null>" for a null text
    std::atomic<int> exits{0};
    std::atomic<bool> hold{false}, inChat{false};
    std::size_t ChatCount() {
        std::lock_guard<std::mutex> guard(lock);
        return chats.size();
    }
};

void VANTOR_CALL OnExit(void* userData) { ++static_cast<Events*>(userData)->exits; }

// A host that ends everything when the launcher says so.
void VANTOR_CALL RemoveControllerAndLibrary(void* userData) {
    VantorGameController_Remove();
    Vantor_Remove();
    ++static_cast<Events*>(userData)->exits;
}

void VANTOR_CALL OnChat(void* userData, const char* text) {
    auto* events = static_cast<Events*>(userData);
    events->inChat.store(true);
    WaitUntil([events] { return !events->hold.load(); });
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
        return std::make_unique<RawPeer>(listener.Accept());
    }
    static int32_t HeartbeatActive() {
        int32_t active = -1;
        VantorGameController_GetHeartbeatActive(&active);
        return active;
    }
    static void ExpectNext(RawPeer& peer, int32_t type, const std::string& payload = "") {
        const WireMessage message = peer.ReceiveSkippingReplies().value_or(WireMessage{16, 1, -1, -1, "<none>"});
        EXPECT_EQ(std::make_tuple(type, payload, static_cast<int32_t>(payload.size())),
                  std::make_tuple(message.type, message.payload, message.payloadLength));
    }

    LogSession log{"game"};
    FastTime time;
    RawListener listener;
    Events events;
};

}  // namespace

// Not started: the chat send still answers 1, the status sends 0. A second
// start keeps the first connection; a second init drops it; the heartbeat
// flag follows the connection.
TEST_F(GameController, StartFailsOnAClosedPortAndOnceStartedIsRefused) {
    EXPECT_EQ(0, VantorGameController_Start(FreePort()));
    EXPECT_TRUE(log.Has("INFO: [VantorClient_Start] "));
    EXPECT_TRUE(log.Has("ERROR: Unable to connect to server.\n"));
    EXPECT_EQ(1, VantorGameController_SendChatMessage("hello"));
    EXPECT_EQ(0, VantorGameController_SendShutdownMessage());
    EXPECT_EQ(2u, CountOf(log.Lines(), "ERROR: Cannot send messages when the MessageAgent isn't started.\n"));
    auto peer = Connect();
    EXPECT_EQ(0, VantorGameController_Start(listener.Port()));
    EXPECT_TRUE(log.Has("ERROR: This client has already been started.\n"));
    EXPECT_EQ(1, VantorGameController_SendGameLaunchedMessage());
    ExpectNext(*peer, VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED);
    EXPECT_TRUE(WaitUntil([] { return HeartbeatActive() == 1; }));
    ASSERT_EQ(1, VantorGameController_Init("x", "y"));
    ASSERT_TRUE(peer->WaitForClose());
    auto second = Connect();
    VantorGameController_SetExitCallback(&events, OnExit);
    second->SendBytes(HeaderBytes(20, 1, VANTORMESSAGETYPE_HEARTBEAT, 0));  // a malformed header means exit
    EXPECT_TRUE(WaitUntil([&] { return events.exits.load() == 1; }));
    second.reset();  // the launcher goes away
    EXPECT_TRUE(WaitUntil([] { return HeartbeatActive() == 0; }));
}

// Status messages leave without payload; chat from the launcher reaches the
// callback exactly, other types do not. Without an exit callback a close is
// warned about, the warning without a line feed of its own; with one, a close
// calls it and keeps the connection. Remove waits out a running callback;
// after it every export fails with one line.
TEST_F(GameController, MessagesBothWays) {
    VantorGameController_SetReceiveChatMessageCallback(&events, OnChat);
    auto peer = Connect();
    peer->Send(VANTORMESSAGETYPE_CLOSE);
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hi | \"quoted\"");
    EXPECT_TRUE(log.Has("WARNING: No VantorGameController \"Exit\" handler provided.INFO: ReceiveMessage"));
    VantorGameController_SetExitCallback(&events, OnExit);
    peer->Send(VANTORMESSAGETYPE_CLOSE);
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() == 1; }));
    for (auto send :
         {VantorGameController_SendGameConnectedToServerMessage, VantorGameController_SendGameVersionMismatchMessage,
          VantorGameController_SendGameAbandonedMessage, VantorGameController_SendShutdownMessage})
        EXPECT_EQ(1, send());
    EXPECT_EQ(1, VantorGameController_SendChatMessage("gg, well played"));
    for (const int32_t type : {10, 9, 7, 1}) ExpectNext(*peer, type);
    ExpectNext(*peer, VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "gg, well played");
    EXPECT_TRUE(log.Has("INFO: SendMessage [VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME]\n"));
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "ignored");
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "last");
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME);
    ASSERT_TRUE(WaitUntil([&] { return events.ChatCount() == 3; }));
    EXPECT_EQ((std::vector<std::string>{"hi | \"quoted\"", "last", "<null>"}), events.chats);
    events.hold.store(true);
    events.inChat.store(false);
    peer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hold");
    ASSERT_TRUE(WaitUntil([&] { return events.inChat.load(); }));
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        events.hold.store(false);
    });
    EXPECT_EQ(1, VantorGameController_Remove());
    releaser.join();
    int32_t value = 7;
    const int32_t chat = VantorGameController_SendChatMessage("x");
    const int32_t hung = VantorGameController_AreProcessesHung(&value);
    EXPECT_EQ(std::make_tuple(0, 0, 0), std::make_tuple(chat, hung, VantorGameController_Remove()));
    EXPECT_EQ(7, value);
    EXPECT_EQ(3u, CountOf(log.Lines(), "ERROR: VantorGameControllerStruct is not yet initialized.\n"));
}

// Silence counts from the start, across the wrap of the millisecond clock,
// until a heartbeat arrives.
TEST_F(GameController, HangTestCountsSilenceFromStartAndHeartbeats) {
    for (const uint32_t start : {500000u, 0xFFFFFFFFu - 60000u}) {
        Tamber::TestClock::SetTicks(start);
        auto peer = Connect();
        int32_t hung = -1;
        const std::pair<uint32_t, int32_t> steps[] = {{0u, 0}, {149000u, 0}, {1000u, 1}};
        for (const auto& [advance, expected] : steps) {
            Tamber::TestClock::Advance(advance);
            EXPECT_EQ(std::make_pair(1, expected), std::make_pair(VantorGameController_AreProcessesHung(&hung), hung))
                << start + advance;
        }
        peer->Send(VANTORMESSAGETYPE_HEARTBEAT);
        WaitUntil([&] { return VantorGameController_AreProcessesHung(&hung) == 1 && hung == 0; });
        EXPECT_EQ(std::make_pair(1, 0), std::make_pair(VantorGameController_AreProcessesHung(&hung), hung));
        ASSERT_EQ(1, VantorGameController_Init("first.exe", "second.exe"));
    }
}

// An exit callback may remove the controller and then the library: neither
// waits for the callback's own thread.
TEST_F(GameController, ExitCallbackMayRemoveTheControllerAndTheLibrary) {
    VantorGameController_SetExitCallback(&events, RemoveControllerAndLibrary);
    auto peer = Connect();
    peer->Send(VANTORMESSAGETYPE_CLOSE);
    EXPECT_TRUE(WaitUntil([&] { return events.exits.load() == 1; }));
}

TEST_F(GameController, KillProcessesEndsBothProgramsByName) {
    ChildProgram first, second;
    RunningChild a(first), b(second), c(second);
    // A kill by name ends what is listed by then; a slow start is listed late.
    ASSERT_TRUE(WaitUntil([&] { return ProcessIdsNamed(second.Name()).size() == 2; }));
    ASSERT_EQ(1, VantorGameController_Init(first.Path().c_str(), second.Path().c_str()));
    EXPECT_EQ(1, VantorGameController_KillProcesses());
    for (const uint32_t id : {a.Id(), b.Id(), c.Id()}) EXPECT_TRUE(WaitForProcessGone(id));
}

// Sends while another thread removes and makes the controller again: each send completes or returns 0; the
// sanitizer tiers catch any touch of freed memory.
TEST(GameControllerTeardown, SendsRacingInitAndRemoveTouchNothingFreed) {
    LogSession log;
    VantorServer* server = nullptr;
    VantorServer_Create(&server);
    const uint16_t port = FreePort();
    ASSERT_EQ(1, VantorServer_Start(server, port));
    std::atomic<bool> done{false};
    std::thread sender([&] {
        while (!done.load()) {
            VantorGameController_SendChatMessage("hi");
            VantorGameController_SendGameLaunchedMessage();
        }
    });
    for (int round = 0; round < 200; ++round) {
        VantorGameController_Init("first.exe", "second.exe");
        VantorGameController_Start(port);
        if (round % 4 == 3) VantorGameController_Remove();
    }
    done = true;
    sender.join();
    VantorGameController_Remove();
    VantorServer_Delete(&server);
}
