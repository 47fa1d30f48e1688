// The whole road with real processes: the launcher runs in the test, the Air
// client and the game are the test puppets, copied under unique names.
#include <atomic>
#include <fstream>
#include <thread>

#include "launcher_fixture.h"

using namespace TamberTest;

namespace {

// The host's loop: supervision every 20 ms while it exists.
struct HostLoop {
    std::atomic<bool> stop{false};
    std::thread thread{[this] {
        for (; !stop.load(); std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            VantorServerController_ProcessEvents();
    }};
    ~HostLoop() { stop.store(true), thread.join(); }
};

}  // namespace

TEST_F(Launcher, EndToEndLaunchChatKillStopAndClose) {
    air.SetMode("air"), game.SetMode("game");
    const std::string airFile = air.Directory() + "/air-", gameFile = game.Directory() + "/game-";
    const auto does = [](const std::string& file, const std::string& command) {
        std::ofstream(file + "commands.txt", std::ios::binary | std::ios::app) << command << "\n";
    };
    const auto saw = [](const std::string& file, const std::string& line, std::size_t times = 1) {
        return WaitUntil([&] { return CountOf(ReadFile(file + "events.txt"), line + "\n") >= times; },
                         std::chrono::seconds(60));
    };
    ASSERT_TRUE(Init() == 1 && VantorServerController_VerifyAllNeededFilesExist() == 1 &&
                VantorServerController_Start() == 1);
    auto hostLoop = std::make_unique<HostLoop>();

    // The Air client found its port after "--" and connected.
    ASSERT_TRUE(saw(airFile, "connected"));
    EXPECT_NE(std::string::npos, ReadFile(airFile + "events.txt").find("|--|" + std::to_string(airPort) + "\n"));
    // It asks for the game, which gets the port, both paths and the arguments.
    does(airFile, "0 -x");
    ASSERT_TRUE(saw(gameFile, "launched"));
    EXPECT_NE(std::string::npos, ReadFile(gameFile + "events.txt")
                                     .find("args|" + std::to_string(gamePort) + "|" + launcher.Path() + "|" +
                                           air.Path() + "|-x\n"));
    ASSERT_TRUE(saw(airFile, "recv 8 <null>"));  // LAUNCHED, forwarded
    // Chat both ways through the launcher.
    does(airFile, "11 hello game");
    ASSERT_TRUE(saw(gameFile, "chat hello game"));
    ASSERT_TRUE(saw(airFile, "recv 12 pong:hello game"));
    // KILL: the game dies unannounced, which supervision reports as a crash.
    does(airFile, "34");
    ASSERT_TRUE(saw(airFile, "recv 2 <null>"));
    // CLOSE reaches a second game, ends both programs and the run.
    does(airFile, "0 second");
    ASSERT_TRUE(saw(airFile, "recv 8 <null>", 2));
    does(airFile, "3");
    ASSERT_TRUE(saw(gameFile, "close"));
    does(airFile, "quit");
    ASSERT_TRUE(WaitUntil([&] { return events.exits.load() >= 1; }, std::chrono::seconds(120)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // supervision has ended: no more reports
    EXPECT_TRUE(events.exits.load() == 1 && events.Errors().empty());
    hostLoop.reset();
    EXPECT_EQ(1, VantorServerController_Remove());
    EXPECT_TRUE(WaitUntil([&] { return ProcessIdsNamed(game.Name()).empty() && ProcessIdsNamed(air.Name()).empty(); }));
}
