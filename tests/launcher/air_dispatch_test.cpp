#include <filesystem>

#include "launcher_fixture.h"
#include "platform/process.h"

using namespace TamberTest;

namespace {

class Dispatch : public Launcher {
protected:
    void SetUp() override {
        InitAndStart();
        airPeer = ConnectAir();
    }
    // The argv (after argv[0]) of the game instance that the launcher started last.
    std::vector<std::string> GameArguments(ChildProgram& program) {
        std::vector<uint32_t> ids;
        WaitUntil([&] {
            ids = ProcessIdsNamed(program.Name());
            return !ids.empty();
        });
        ChildReport report;
        if (ids.empty() || !program.WaitForReport(ids.back(), &report) || report.argv.empty()) return {"<no game>"};
        return std::vector<std::string>(report.argv.begin() + 1, report.argv.end());
    }
    std::vector<std::string> Expected(const std::string& args) {
        return {std::to_string(gamePort), launcher.Path(), air.Path(), args};
    }
    std::optional<WireMessage> ToAir(uint32_t ms = 10000) { return airPeer->ReceiveSkippingReplies(ms); }

    std::unique_ptr<RawPeer> airPeer;
};

// The game gets four quoted fields, the last empty without a payload; a
// create while the game runs waits, then gives up with a warning without a
// line feed of its own.
TEST_F(Dispatch, CreateLaunchesTheGameOnceAtATime) {
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "-x");
    EXPECT_EQ(Expected("-x"), GameArguments(game));
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "second");
    EXPECT_EQ(1u, ProcessIdsNamed(game.Name()).size());
    const std::string warning =
        "WARNING: VANTORMESSAGETYPE_GAMECLIENT_CREATE message received while game is already running.";
    EXPECT_EQ(1u, CountOf(Log(), warning));
    EXPECT_EQ(std::string::npos, Log().find(warning + "\n"));
    game.EndAll();
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE);
    EXPECT_EQ(Expected(""), GameArguments(game));
}

TEST_F(Dispatch, CreateVersionWithoutPatcherFallsBackToTheLatestGame) {
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION, "v9");
    EXPECT_NE(std::string::npos,
              Log().find("ERROR: Failed to get path for game version: v9, defaulting to latest\n"));
    EXPECT_EQ(1u, CountOf(Log(), "INFO: Could not load patching support. Back patching support for replays is disabled.\n"));
    EXPECT_EQ(Expected(""), GameArguments(game));
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION);  // no payload: nothing
    EXPECT_EQ(1u, ProcessIdsNamed(game.Name()).size());
}

TEST_F(Dispatch, CloseStopsEverythingAndEndsTheRun) {
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE);
    auto gamePeer = ConnectGame();
    airPeer->Send(VANTORMESSAGETYPE_CLOSE);
    auto close = gamePeer->ReceiveSkippingReplies();
    ASSERT_TRUE(close);
    EXPECT_EQ(VANTORMESSAGETYPE_CLOSE, close->type);
    // Let both go by themselves within their minute.
    game.EndAll();
    air.EndAll();
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() == 1; }, std::chrono::seconds(60)));
    Tamber::TestClock::Advance(1000000u);
    VantorServerController_ProcessEvents();  // supervision has ended
    EXPECT_EQ(1, events.exits.load());
}

TEST_F(Dispatch, KillStopsTheGameAndSupervisionCallsItACrash) {
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE);
    const uint32_t id = RunningGameId();
    VantorServerController_ProcessEvents();
    SendAndWait(*airPeer, VANTORMESSAGETYPE_KILL_GAMECLIENT_PROCESS);
    EXPECT_TRUE(WaitForProcessGone(id));
    VantorServerController_ProcessEvents();
    auto crashed = ToAir();
    ASSERT_TRUE(crashed);
    EXPECT_EQ(VANTORMESSAGETYPE_GAMECLIENT_CRASHED, crashed->type);
}

TEST_F(Dispatch, ChatGoesToEveryGameClient) {
    auto first = ConnectGame();
    auto second = ConnectGame();
    airPeer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hello, game");
    for (RawPeer* peer : {first.get(), second.get()}) {
        auto chat = peer->ReceiveSkippingReplies();
        ASSERT_TRUE(chat);
        EXPECT_EQ(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, chat->type);
        EXPECT_EQ("hello, game", chat->payload);
    }
}

// A preloaded game's heartbeat time is its start, not an old value.
TEST_F(Dispatch, PreloadStartsTheGameInPreloadModeSupervisedFromItsStart) {
    Tamber::TestClock::SetTicks(5000000u);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_HEARTBEAT);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE_CLIENT_AND_PRELOAD, "p1");
    EXPECT_EQ((std::vector<std::string>{"game_client_preload", "p1", std::to_string(airPort), std::to_string(gamePort)}),
              GameArguments(game));
    const uint32_t id = RunningGameId();
    VantorServerController_ProcessEvents();
    EXPECT_TRUE(IsProcessAlive(id));
}

TEST_F(Dispatch, CredentialsAndPlayTextsForThePreloadedGame) {
    // The answer goes to every Air client, this one included.
    airPeer->Send(VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIALS, "abc");
    auto credentials = ToAir();
    ASSERT_TRUE(credentials);
    EXPECT_EQ(VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIALS, credentials->type);
    EXPECT_EQ("<KavPreloadMessageToGameStart>{\"messageType\":\"UpdateGameWithCredentials\",\"commandLine\":\"|" +
                  std::to_string(gamePort) + "| |" + launcher.Path() + "| |" + air.Path() +
                  "| |abc|\"}<KavPreloadMessageToGameEnd>",
              credentials->payload);
    airPeer->Send(VANTORMESSAGETYPE_GAMECLIENT_PLAY_PRELOADED_GAME);
    auto play = ToAir();
    ASSERT_TRUE(play);
    EXPECT_EQ(VANTORMESSAGETYPE_GAMECLIENT_PLAY_PRELOADED_GAME, play->type);
    EXPECT_EQ("<KavPreloadMessageToGameStart>{\"messageType\":\"PlayPreloadedGame\"}<KavPreloadMessageToGameEnd>",
              play->payload);
}

TEST_F(Dispatch, StatusTypesFromAirAreIgnored) {
    for (int32_t type : {1, 2, 8, 10, 12, 20, 30, 31, 33, -5})
        SendAndWait(*airPeer, type);
    EXPECT_FALSE(ToAir(300));
    EXPECT_TRUE(ProcessIdsNamed(game.Name()).empty());
    EXPECT_EQ(0, events.exits.load());
}

TEST_F(Dispatch, RemoveWhileAHandlerWaitsForAnEarlierGame) {
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "first");
    Tamber::TestClock::SetShortPauses(false);  // the second launch now waits for real
    airPeer->Send(VANTORMESSAGETYPE_GAMECLIENT_CREATE, "second");
    ASSERT_TRUE(airPeer->Receive());  // its reply: the handler is running
    EXPECT_EQ(1, VantorServerController_Remove());
    EXPECT_EQ(1u, ProcessIdsNamed(game.Name()).size());
}

}  // namespace
