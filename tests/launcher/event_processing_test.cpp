#include "launcher_fixture.h"
#include "platform/process.h"

using namespace TamberTest;

namespace {

constexpr uint32_t kStart = 1000000u;  // ms on the frozen test clock

void End(uint32_t id) {
    const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(id);
    if (process.IsOpen()) process.Terminate();
    WaitForProcessGone(id);
}

class Supervision : public Launcher {
protected:
    void SetUp() override {
        Tamber::TestClock::SetTicks(kStart);
        InitAndStart();
        airPeer = ConnectAir();
    }
    // Launches the game through the Air dispatcher and lets supervision see it running.
    uint32_t LaunchGame() {
        SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "-x");
        const uint32_t id = RunningGameId();
        VantorServerController_ProcessEvents();
        return id;
    }
    // The next message to Air that is not a reply or heartbeat, within ms.
    std::optional<WireMessage> ToAir(uint32_t ms = 10000) { return airPeer->ReceiveSkippingReplies(ms); }

    std::unique_ptr<RawPeer> airPeer;
};

TEST_F(Supervision, AirSilentFor150SecondsIsStoppedAndReported) {
    Tamber::TestClock::Advance(149000u);
    EXPECT_EQ(1, VantorServerController_ProcessEvents());
    EXPECT_EQ(0, events.exits.load());
    Tamber::TestClock::Advance(1000u);
    EXPECT_EQ(1, VantorServerController_ProcessEvents());
    EXPECT_EQ(1, events.exits.load());
    EXPECT_EQ((std::vector<std::string>{"5:Contact with Air lost  version 1.\n"}), events.Errors());
    EXPECT_TRUE(WaitForProcessGone(airIds[0]));
}

TEST_F(Supervision, AirHeartbeatsKeepItSupervisedAcrossTheClockWrap) {
    VantorServerController_Stop();
    Tamber::TestClock::SetTicks(0xFFFFFFFFu - 100000u);
    ASSERT_EQ(1, VantorServerController_StartArgsExplicit("again"));  // Air time := now
    events.errors.clear();
    for (int minute = 0; minute < 4; ++minute) {
        Tamber::TestClock::Advance(60000u);
        SendAndWait(*airPeer, VANTORMESSAGETYPE_HEARTBEAT);
        VantorServerController_ProcessEvents();
    }
    EXPECT_EQ(0, events.exits.load());
    Tamber::TestClock::Advance(150000u);  // silent now, on the far side of the wrap
    VantorServerController_ProcessEvents();
    EXPECT_EQ(1, events.exits.load());
}

TEST_F(Supervision, AirGoneIsReportedOnEveryCall) {
    End(airIds[0]);
    VantorServerController_ProcessEvents();
    VantorServerController_ProcessEvents();
    EXPECT_EQ(2, events.exits.load());
    EXPECT_EQ((std::vector<std::string>{"5:Contact with Air lost version 2.\n", "5:Contact with Air lost version 2.\n"}),
              events.Errors());
}

TEST_F(Supervision, AirGoneWhileAGameRunsOnlyEndsTheRun) {
    LaunchGame();
    End(airIds[0]);
    VantorServerController_ProcessEvents();
    EXPECT_EQ(1, events.exits.load());
    EXPECT_TRUE(events.Errors().empty());
}

// A game that dies unannounced is reported once; one that announces its end
// either way is not.
TEST_F(Supervision, AGameThatDiesUnannouncedIsReportedOnce) {
    for (const int32_t announcement : {0, int32_t{VANTORMESSAGETYPE_GAMECLIENT_STOPPED}, int32_t{VANTORMESSAGETYPE_GAMECLIENT_ABANDONED}}) {
        const uint32_t id = LaunchGame();
        auto gamePeer = ConnectGame();
        if (announcement != 0) gamePeer->Send(announcement);
        End(id);  // the game goes within the launcher's 20 s wait
        if (announcement == 0) VantorServerController_ProcessEvents();
        auto message = ToAir();
        ASSERT_TRUE(message);
        EXPECT_EQ(announcement != 0 ? announcement : VANTORMESSAGETYPE_GAMECLIENT_CRASHED, message->type);
        EXPECT_EQ(0, message->payloadLength);
        VantorServerController_ProcessEvents();
        EXPECT_FALSE(ToAir(300)) << "type " << announcement;
    }
}

TEST_F(Supervision, GameHeartbeatsKeepItRunning) {
    const uint32_t id = LaunchGame();
    auto gamePeer = ConnectGame();
    Tamber::TestClock::Advance(140000u);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_HEARTBEAT);
    SendAndWait(*gamePeer, VANTORMESSAGETYPE_HEARTBEAT);
    Tamber::TestClock::Advance(140000u);  // 280 s since the launch, 140 s since the heartbeat
    SendAndWait(*airPeer, VANTORMESSAGETYPE_HEARTBEAT);
    VantorServerController_ProcessEvents();
    // A stop would have ended it by now: it gets 500 ms of grace, then a kill.
    EXPECT_FALSE(WaitUntil([&] { return !IsProcessAlive(id); }, std::chrono::milliseconds(1000)));
    Tamber::TestClock::Advance(10000u);  // now 150 s since the game's heartbeat
    VantorServerController_ProcessEvents();
    EXPECT_TRUE(WaitForProcessGone(id));
    EXPECT_EQ(0, events.exits.load());
}

TEST_F(Supervision, AGameSilentFor150SecondsIsStoppedThenReported) {
    const uint32_t id = LaunchGame();
    Tamber::TestClock::Advance(100000u);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_HEARTBEAT);  // Air stays in touch
    Tamber::TestClock::Advance(49000u);
    VantorServerController_ProcessEvents();
    EXPECT_TRUE(IsProcessAlive(id));
    Tamber::TestClock::Advance(1000u);
    VantorServerController_ProcessEvents();  // stops the game, reports nothing yet
    EXPECT_TRUE(WaitForProcessGone(id));
    EXPECT_FALSE(ToAir(300));
    VantorServerController_ProcessEvents();
    auto crashed = ToAir();
    ASSERT_TRUE(crashed);
    EXPECT_EQ(VANTORMESSAGETYPE_GAMECLIENT_CRASHED, crashed->type);
    EXPECT_EQ(0, events.exits.load());
}

TEST_F(Supervision, GameMessagesAreForwardedToAir) {
    auto gamePeer = ConnectGame();
    gamePeer->Send(VANTORMESSAGETYPE_GAMECLIENT_CREATE);  // ignored on the game server
    gamePeer->Send(VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, "dropped payload");
    gamePeer->Send(VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "gl hf");
    gamePeer->Send(VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PLAYER_CONNECTION, "p2 joined");
    gamePeer->Send(VANTORMESSAGETYPE_GAMECLIENT_VERSION_MISMATCH);
    gamePeer->Send(VANTORMESSAGETYPE_GAMECLIENT_CONNECTED_TO_SERVER);
    gamePeer->Send(VANTORMESSAGETYPE_GAMECLIENT_INITIAL_PRELOAD_COMPLETE);
    gamePeer->Send(VANTORMESSAGETYPE_GAMECLIENT_GAME_LOADING_COMPLETE);
    gamePeer->Send(VANTORMESSAGETYPE_KILL_GAMECLIENT_PROCESS);  // ignored
    const std::pair<int32_t, std::string> expected[] = {
        {8, ""}, {12, "gl hf"}, {31, "p2 joined"}, {9, ""}, {10, ""}, {30, ""}, {33, ""}};
    for (const auto& [type, payload] : expected) {
        auto message = ToAir();
        ASSERT_TRUE(message);
        EXPECT_EQ(type, message->type);
        EXPECT_EQ(payload, message->payload);
    }
    EXPECT_FALSE(ToAir(300));
}

TEST_F(Supervision, AMalformedHeaderFromTheGameEndsTheRun) {
    const uint32_t gameId = LaunchGame();
    auto gamePeer = ConnectGame();
    std::string bad = Encode(VANTORMESSAGETYPE_HEARTBEAT);
    bad[4] = 2;  // version 2
    gamePeer->SendBytes(bad);
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() == 1; }));
    EXPECT_TRUE(WaitForProcessGone(gameId));
    EXPECT_TRUE(WaitForProcessGone(airIds[0]));
}

TEST_F(Supervision, LauncherClientsAreLogged) {
    RawPeer client(launcherPort);
    SendAndWait(client, VANTORMESSAGETYPE_LAUNCHERCLIENT);
    EXPECT_EQ(1u, CountOf(Log(), "INFO: Received VANTORMESSAGETYPE_LAUNCHERCLIENT\n"));
    std::string bad = Encode(VANTORMESSAGETYPE_LAUNCHERCLIENT);
    bad[8] = 40;  // type 40
    client.SendBytes(bad);
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() == 1; }));
}

}  // namespace
