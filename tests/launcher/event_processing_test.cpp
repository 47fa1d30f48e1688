#include <future>

#include "launcher_fixture.h"

using namespace TamberTest;

// Air's heartbeats keep it supervised across the wrap of the millisecond
// clock; 150 s of silence stop it and end the run, and once it is gone every
// call reports it.
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
    EXPECT_TRUE(WaitForProcessGone(airIds[0]));
    // Air gone is reported again on every call.
    for (int call = 0; call < 2; ++call) VantorServerController_ProcessEvents();
    EXPECT_EQ(3, events.exits.load());
    EXPECT_EQ((std::vector<std::string>{"5:Contact with Air lost  version 1.\n", "5:Contact with Air lost version 2.\n",
                                        "5:Contact with Air lost version 2.\n"}),
              events.Errors());
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
    Tamber::TestClock::Advance(10000u);      // now 150 s since the game's heartbeat
    VantorServerController_ProcessEvents();  // stops the game, reports nothing yet
    EXPECT_TRUE(WaitForProcessGone(id));
    EXPECT_FALSE(ToAir(300));
    VantorServerController_ProcessEvents();
    EXPECT_EQ(VANTORMESSAGETYPE_GAMECLIENT_CRASHED, ToAir().value_or(WireMessage{16, 1, -1, -1, ""}).type);
    EXPECT_EQ(0, events.exits.load());
}

// A create while the game runs waits, then gives up with a warning without a
// line feed of its own; one that Remove wakes ends there, without a warning.
TEST_F(Running, CreateLaunchesTheGameOnceAtATimeAndRemoveEndsTheWait) {
    LaunchGame();
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "second");
    EXPECT_EQ(1u, ProcessIdsNamed(game.Name()).size());
    const std::string warning =
        "WARNING: VANTORMESSAGETYPE_GAMECLIENT_CREATE message received while game is already running.";
    EXPECT_EQ(1u, CountOf(log.Lines(), warning));
    EXPECT_TRUE(log.Lacks(warning + "\n"));
    Tamber::TestClock::SetShortPauses(false);  // the third launch now waits for real
    airPeer->Send(VANTORMESSAGETYPE_GAMECLIENT_CREATE, "third");
    ASSERT_TRUE(airPeer->Receive());  // its reply: the handler is running
    EXPECT_EQ(1, VantorServerController_Remove());
    EXPECT_EQ(1u, ProcessIdsNamed(game.Name()).size());
    EXPECT_EQ(1u, CountOf(log.Lines(), warning));
}

// Status types from Air are ignored. A preloaded game's heartbeat time is
// its start, not an old value; the credential and play texts for it go to
// every Air client, this one included.
TEST_F(Running, StatusTypesAreIgnoredAndAPreloadedGameIsSupervisedFromItsStart) {
    for (int32_t type : {1, 2, 8, 10, 12, 20, 30, 31, 33, -5}) SendAndWait(*airPeer, type);
    EXPECT_FALSE(ToAir(300));
    EXPECT_TRUE(ProcessIdsNamed(game.Name()).empty());
    Tamber::TestClock::SetTicks(5000000u);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_HEARTBEAT);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE_CLIENT_AND_PRELOAD, "p1");
    const auto [id, arguments] = Started(game);
    EXPECT_EQ(
        (std::vector<std::string>{"game_client_preload", "p1", std::to_string(airPort), std::to_string(gamePort)}),
        arguments);
    VantorServerController_ProcessEvents();
    EXPECT_TRUE(IsProcessAlive(id));
    const std::string credentials =
        "<KavPreloadMessageToGameStart>{\"messageType\":\"UpdateGameWithCredentials\","
        "\"commandLine\":\"|" +
        std::to_string(gamePort) + "| |" + launcher.Path() + "| |" + air.Path() +
        "| |abc|\"}<KavPreloadMessageToGameEnd>";
    const std::pair<int32_t, std::string> cases[] = {
        {VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIALS, credentials},
        {VANTORMESSAGETYPE_GAMECLIENT_PLAY_PRELOADED_GAME,
         "<KavPreloadMessageToGameStart>{\"messageType\":\"PlayPreloadedGame\"}<KavPreloadMessageToGameEnd>"}};
    for (const auto& [type, text] : cases) {
        airPeer->Send(type, type == VANTORMESSAGETYPE_GAMECLIENT_PLAY_PRELOADED_GAME ? "" : "abc");
        const WireMessage answer = ToAir().value_or(WireMessage{16, 1, -1, -1, "<none>"});
        EXPECT_EQ(std::make_pair(type, text), std::make_pair(answer.type, answer.payload));
    }
    EXPECT_EQ(0, events.exits.load());
}

// A peer that never reads does not hold Remove up.
TEST_F(Launcher, RemoveIsNotHeldUpByAGamePeerThatNeverReads) {
    Connect();
    const auto gamePeer = ConnectListed(gamePort);
    // More than the connection's buffers hold: the forward to the game waits for it.
    airPeer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, std::string(12 * 1024 * 1024, 'x'));
    ASSERT_TRUE(log.Has("ReceiveMessage [VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME]"));
    auto removal = std::async(std::launch::async, VantorServerController_Remove);
    EXPECT_EQ(std::future_status::ready, removal.wait_for(std::chrono::seconds(9)));
}

// A game that dies unannounced (here by Air's KILL) is reported once; one
// that announces its end either way is not.
TEST_F(Running, AGameThatDiesUnannouncedIsReportedOnce) {
    for (const int32_t announcement :
         {0, int32_t{VANTORMESSAGETYPE_GAMECLIENT_STOPPED}, int32_t{VANTORMESSAGETYPE_GAMECLIENT_ABANDONED}}) {
        const uint32_t id = LaunchGame();
        auto gamePeer = ConnectListed(gamePort);
        if (announcement != 0) {
            gamePeer->Send(announcement);
            game.EndAll();  // within the launcher's 20 s wait
        } else {
            SendAndWait(*airPeer, VANTORMESSAGETYPE_KILL_GAMECLIENT_PROCESS);
            ASSERT_TRUE(WaitForProcessGone(id));
            VantorServerController_ProcessEvents();
        }
        const WireMessage message = ToAir().value_or(WireMessage{16, 1, -1, -1, ""});
        EXPECT_EQ(std::make_pair(announcement != 0 ? announcement : int32_t{VANTORMESSAGETYPE_GAMECLIENT_CRASHED}, 0),
                  std::make_pair(message.type, message.payloadLength));
        VantorServerController_ProcessEvents();
        EXPECT_FALSE(ToAir(300)) << "type " << announcement;
    }
}

// Status messages and chat from the game go on to Air; CREATE and KILL do not.
TEST_F(Running, GameMessagesAreForwardedToAir) {
    auto gamePeer = ConnectListed(gamePort);
    const std::pair<int32_t, std::string> sent[] = {
        {0, ""}, {8, "dropped payload"}, {12, "gl hf"}, {31, "p2 joined"}, {9, ""}, {10, ""}, {30, ""}, {33, ""},
        {34, ""}};
    for (const auto& [type, payload] : sent) gamePeer->Send(type, payload);
    for (const auto& [type, payload] : std::vector<std::pair<int32_t, std::string>>{
             {8, ""}, {12, "gl hf"}, {31, "p2 joined"}, {9, ""}, {10, ""}, {30, ""}, {33, ""}}) {
        const WireMessage message = ToAir().value_or(WireMessage{16, 1, -1, -1, "<none>"});
        EXPECT_EQ(std::make_pair(type, payload), std::make_pair(message.type, message.payload));
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
