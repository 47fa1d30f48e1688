#include "launcher_fixture.h"

using namespace TamberTest;

// Air's heartbeats keep it supervised across the wrap of the millisecond
// clock; 150 s of silence stop it and end the run.
TEST_F(Running, AirSilentFor150SecondsAcrossTheClockWrapIsStoppedAndReported) {
    VantorServerController_Stop();
    Tamber::TestClock::SetTicks(0xFFFFFFFFu - 100000u);
    ASSERT_EQ(1, VantorServerController_StartArgsExplicit("again"));  // Air time := now
    events.errors.clear();
    for (int minute = 0; minute < 4; ++minute) {
        Tamber::TestClock::Advance(60000u);
        SendAndWait(*airPeer, VANTORMESSAGETYPE_HEARTBEAT);
        VantorServerController_ProcessEvents();
    }
    Tamber::TestClock::Advance(149000u);  // on the far side of the wrap
    EXPECT_EQ(1, VantorServerController_ProcessEvents());
    EXPECT_EQ(0, events.exits.load());
    Tamber::TestClock::Advance(1000u);
    EXPECT_EQ(1, VantorServerController_ProcessEvents());
    EXPECT_EQ(1, events.exits.load());
    EXPECT_EQ((std::vector<std::string>{"5:Contact with Air lost  version 1.\n"}), events.Errors());
    EXPECT_TRUE(WaitForProcessGone(airIds[0]));
}

TEST_F(Running, AirGoneIsReportedOnEveryCall) {
    air.EndAll();
    VantorServerController_ProcessEvents();
    VantorServerController_ProcessEvents();
    EXPECT_EQ(2, events.exits.load());
    EXPECT_EQ((std::vector<std::string>{"5:Contact with Air lost version 2.\n", "5:Contact with Air lost version 2.\n"}),
              events.Errors());
}

TEST_F(Running, AirGoneWhileAGameRunsOnlyEndsTheRun) {
    LaunchGame();
    air.EndAll();
    VantorServerController_ProcessEvents();
    EXPECT_EQ(1, events.exits.load());
    EXPECT_TRUE(events.Errors().empty());
}

// A game that dies unannounced is reported once; one that announces its end
// either way is not.
TEST_F(Running, AGameThatDiesUnannouncedIsReportedOnce) {
    for (const int32_t announcement : {0, int32_t{VANTORMESSAGETYPE_GAMECLIENT_STOPPED}, int32_t{VANTORMESSAGETYPE_GAMECLIENT_ABANDONED}}) {
        LaunchGame();
        auto gamePeer = ConnectListed(gamePort);
        if (announcement != 0) gamePeer->Send(announcement);
        game.EndAll();  // within the launcher's 20 s wait
        if (announcement == 0) VantorServerController_ProcessEvents();
        auto message = ToAir();
        ASSERT_TRUE(message);
        EXPECT_EQ(announcement != 0 ? announcement : VANTORMESSAGETYPE_GAMECLIENT_CRASHED, message->type);
        EXPECT_EQ(0, message->payloadLength);
        VantorServerController_ProcessEvents();
        EXPECT_FALSE(ToAir(300)) << "type " << announcement;
    }
}

// The game's silence counts from its launch, then from its last heartbeat; a
// silent game is stopped first and reported as a crash on the next call.
TEST_F(Running, GameHeartbeatsKeepItRunningAndSilenceStopsIt) {
    const uint32_t id = LaunchGame();
    auto gamePeer = ConnectListed(gamePort);
    Tamber::TestClock::Advance(140000u);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_HEARTBEAT);
    SendAndWait(*gamePeer, VANTORMESSAGETYPE_HEARTBEAT);
    Tamber::TestClock::Advance(140000u);  // 280 s since the launch, 140 s since the heartbeat
    SendAndWait(*airPeer, VANTORMESSAGETYPE_HEARTBEAT);
    VantorServerController_ProcessEvents();
    // A stop would have ended it by now: it gets 500 ms of grace, then a kill.
    EXPECT_FALSE(WaitUntil([&] { return !IsProcessAlive(id); }, std::chrono::milliseconds(1000)));
    Tamber::TestClock::Advance(10000u);  // now 150 s since the game's heartbeat
    VantorServerController_ProcessEvents();  // stops the game, reports nothing yet
    EXPECT_TRUE(WaitForProcessGone(id));
    EXPECT_FALSE(ToAir(300));
    VantorServerController_ProcessEvents();
    auto crashed = ToAir();
    EXPECT_TRUE(crashed && crashed->type == VANTORMESSAGETYPE_GAMECLIENT_CRASHED);
    EXPECT_EQ(0, events.exits.load());
}

// Status messages and chat from the game go on to Air; CREATE and KILL do not.
TEST_F(Running, GameMessagesAreForwardedToAir) {
    auto gamePeer = ConnectListed(gamePort);
    const std::pair<int32_t, std::string> sent[] = {{0, ""}, {8, "dropped payload"}, {12, "gl hf"}, {31, "p2 joined"},
                                                    {9, ""}, {10, ""}, {30, ""}, {33, ""}, {34, ""}};
    for (const auto& [type, payload] : sent) gamePeer->Send(type, payload);
    for (const auto& [type, payload] : std::vector<std::pair<int32_t, std::string>>{
             {8, ""}, {12, "gl hf"}, {31, "p2 joined"}, {9, ""}, {10, ""}, {30, ""}, {33, ""}}) {
        auto message = ToAir();
        ASSERT_TRUE(message);
        EXPECT_EQ(type, message->type);
        EXPECT_EQ(payload, message->payload);
    }
    EXPECT_FALSE(ToAir(300));
}

// A malformed header from the game, or from a launcher client, ends the run.
TEST_F(Running, MalformedHeadersEndTheRun) {
    const uint32_t gameId = LaunchGame();
    ConnectListed(gamePort)->SendBytes(HeaderBytes(16, 2, VANTORMESSAGETYPE_HEARTBEAT, 0));  // version 2
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() == 1; }));
    EXPECT_TRUE(WaitForProcessGone(gameId));
    EXPECT_TRUE(WaitForProcessGone(airIds[0]));
    RawPeer client(launcherPort);
    SendAndWait(client, VANTORMESSAGETYPE_LAUNCHERCLIENT);
    EXPECT_EQ(1u, CountOf(log.Lines(), "INFO: Received VANTORMESSAGETYPE_LAUNCHERCLIENT\n"));
    client.SendBytes(HeaderBytes(16, 1, 40, 0));  // type 40
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() == 2; }));
}
