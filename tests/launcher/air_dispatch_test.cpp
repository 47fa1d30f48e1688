#include "launcher_fixture.h"

using namespace TamberTest;

// The game gets four quoted fields, the last empty without a payload; a
// create while the game runs waits, then gives up with a warning without a
// line feed of its own.
TEST_F(Running, CreateLaunchesTheGameOnceAtATime) {
    const auto expected = [&](const std::string& args) {
        return std::vector<std::string>{std::to_string(gamePort), launcher.Path(), air.Path(), args};
    };
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "-x");
    EXPECT_EQ(expected("-x"), Started(game).second);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "second");
    EXPECT_EQ(1u, ProcessIdsNamed(game.Name()).size());
    const std::string warning =
        "WARNING: VANTORMESSAGETYPE_GAMECLIENT_CREATE message received while game is already running.";
    EXPECT_EQ(1u, CountOf(log.Lines(), warning));
    EXPECT_EQ(std::string::npos, log.Lines().find(warning + "\n"));
    game.EndAll();
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE);
    EXPECT_EQ(expected(""), Started(game).second);
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
    EXPECT_EQ((std::vector<std::string>{"game_client_preload", "p1", std::to_string(airPort), std::to_string(gamePort)}),
              arguments);
    VantorServerController_ProcessEvents();
    EXPECT_TRUE(IsProcessAlive(id));
    const std::string credentials = "<KavPreloadMessageToGameStart>{\"messageType\":\"UpdateGameWithCredentials\","
                                    "\"commandLine\":\"|" + std::to_string(gamePort) + "| |" + launcher.Path() +
                                    "| |" + air.Path() + "| |abc|\"}<KavPreloadMessageToGameEnd>";
    const std::pair<int32_t, std::string> cases[] = {
        {VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIALS, credentials},
        {VANTORMESSAGETYPE_GAMECLIENT_PLAY_PRELOADED_GAME,
         "<KavPreloadMessageToGameStart>{\"messageType\":\"PlayPreloadedGame\"}<KavPreloadMessageToGameEnd>"}};
    for (const auto& [type, text] : cases) {
        airPeer->Send(type, type == VANTORMESSAGETYPE_GAMECLIENT_PLAY_PRELOADED_GAME ? "" : "abc");
        auto answer = ToAir();
        ASSERT_TRUE(answer);
        EXPECT_EQ(type, answer->type);
        EXPECT_EQ(text, answer->payload);
    }
    EXPECT_EQ(0, events.exits.load());
}

TEST_F(Running, RemoveWhileAHandlerWaitsForAnEarlierGame) {
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "first");
    Tamber::TestClock::SetShortPauses(false);  // the second launch now waits for real
    airPeer->Send(VANTORMESSAGETYPE_GAMECLIENT_CREATE, "second");
    ASSERT_TRUE(airPeer->Receive());  // its reply: the handler is running
    EXPECT_EQ(1, VantorServerController_Remove());
    EXPECT_EQ(1u, ProcessIdsNamed(game.Name()).size());
}
