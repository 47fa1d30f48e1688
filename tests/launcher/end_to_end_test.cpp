// The whole road with real processes: the launcher runs in the test, the Air
// client and the game are the test puppets, copied under unique names.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "launcher_fixture.h"

using namespace TamberTest;

namespace {

class EndToEnd : public testing::Test {
protected:
    EndToEnd() {
        PickPorts(&launcherPort, &airPort, &gamePort);
        air.SetMode("air");
        game.SetMode("game");
    }
    ~EndToEnd() override {
        StopHostLoop();
        if (VantorServerController_GetAirServerHandle()) VantorServerController_Remove();
    }

    // The host's loop: supervision every 20 ms until the run is over.
    void StartHostLoop() {
        hostLoop = std::thread([this] {
            while (!stop.load()) {
                VantorServerController_ProcessEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    void StopHostLoop() {
        stop.store(true);
        if (hostLoop.joinable()) hostLoop.join();
    }

    static void Append(const std::string& path, const std::string& line) {
        std::ofstream(path, std::ios::binary | std::ios::app) << line << "\n";
    }
    void AirDoes(const std::string& command) { Append(air.Directory() + "/air-commands.txt", command); }
    void GameDoes(const std::string& command) { Append(game.Directory() + "/game-commands.txt", command); }
    std::string AirEvents() const { return ReadFile(air.Directory() + "/air-events.txt"); }
    std::string GameEvents() const { return ReadFile(game.Directory() + "/game-events.txt"); }
    bool AirSaw(const std::string& line, std::size_t times = 1) {
        return WaitUntil([&] { return CountOf(AirEvents(), line + "\n") >= times; }, std::chrono::seconds(60));
    }
    bool GameSaw(const std::string& line, std::size_t times = 1) {
        return WaitUntil([&] { return CountOf(GameEvents(), line + "\n") >= times; }, std::chrono::seconds(60));
    }

    LogSession log{"launcher"};
    FastTime time;
    ChildProgram launcher;
    ChildProgram air;
    ChildProgram game;
    uint16_t launcherPort = 0;
    uint16_t airPort = 0;
    uint16_t gamePort = 0;
    HostEvents events;
    std::atomic<bool> stop{false};
    std::thread hostLoop;
};

TEST_F(EndToEnd, LaunchChatKillStopAndClose) {
    events.logPath = log.LogPath();
    g_hostEvents = &events;
    ASSERT_EQ(1, VantorServerController_Init(launcher.Path().c_str(), launcherPort, air.Path().c_str(), airPort,
                                             game.Path().c_str(), gamePort, &events, RecordExit, RecordError,
                                             nullptr));
    ASSERT_EQ(1, VantorServerController_VerifyAllNeededFilesExist());
    ASSERT_EQ(1, VantorServerController_Start());
    StartHostLoop();

    // The Air client found its port after "--" and connected.
    ASSERT_TRUE(AirSaw("connected"));
    EXPECT_NE(std::string::npos, AirEvents().find("|--|" + std::to_string(airPort) + "\n"));

    // It asks for the game, which gets the port, both paths and the arguments.
    AirDoes("0 -x");
    ASSERT_TRUE(GameSaw("launched"));
    EXPECT_NE(std::string::npos, GameEvents().find("args|" + std::to_string(gamePort) + "|" + launcher.Path() + "|" +
                                                   air.Path() + "|-x\n"));
    ASSERT_TRUE(AirSaw("recv 8 <null>"));  // LAUNCHED, forwarded

    // Chat both ways through the launcher.
    AirDoes("11 hello game");
    ASSERT_TRUE(GameSaw("chat hello game"));
    ASSERT_TRUE(AirSaw("recv 12 pong:hello game"));

    // KILL: the game dies unannounced, which supervision reports as a crash.
    AirDoes("34");
    ASSERT_TRUE(AirSaw("recv 2 <null>"));

    // A second game announces its end: no crash for it.
    AirDoes("0 second");
    ASSERT_TRUE(AirSaw("recv 8 <null>", 2));
    GameDoes("stopped");
    ASSERT_TRUE(AirSaw("recv 1 <null>"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a few supervision passes
    EXPECT_EQ(1u, CountOf(AirEvents(), "recv 2 <null>\n"));
    std::filesystem::remove(game.Directory() + "/game-commands.txt");  // a fresh script for the next game

    // CLOSE reaches a third game, ends both programs and the run.
    AirDoes("0 third");
    ASSERT_TRUE(AirSaw("recv 8 <null>", 3));
    AirDoes("3");
    ASSERT_TRUE(GameSaw("close"));
    AirDoes("quit");
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() >= 1; }, std::chrono::seconds(120)));
    EXPECT_TRUE(events.Errors().empty());
    StopHostLoop();
    EXPECT_EQ(1, VantorServerController_Remove());
    EXPECT_TRUE(WaitUntil([&] { return ProcessIdsNamed(game.Name()).empty() && ProcessIdsNamed(air.Name()).empty(); }));
    g_hostEvents = nullptr;
}

}  // namespace
