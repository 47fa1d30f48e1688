#include <filesystem>

#include "launcher_fixture.h"
#include "platform/shared_mutex.h"

using namespace TamberTest;

// Init ends leftover copies of the three programs, listens on the launcher
// port only and holds the instance semaphore until Remove.
TEST_F(Launcher, InitListensHoldsTheSemaphoreAndEndsLeftovers) {
    RunningChild oldLauncher(launcher), oldAir(air), oldGame(game);
    // Init ends what the system lists by then; a slow start is listed late.
    for (const ChildProgram* program : {&launcher, &air, &game})
        ASSERT_TRUE(WaitUntil([&] { return ProcessIdsNamed(program->Name()).size() == 1; })) << program->Name();
    ASSERT_EQ(1, Init());
    for (const uint32_t id : {oldLauncher.Id(), oldAir.Id(), oldGame.Id()}) EXPECT_TRUE(WaitForProcessGone(id));
    const std::pair<uint16_t, bool> listening[] = {{launcherPort, true}, {airPort, false}, {gamePort, false}};
    for (const auto& [port, open] : listening) EXPECT_EQ(open, RawPeer(port).Connected()) << port;
    EXPECT_FALSE(Tamber::SharedMutex::Create()->Holds());
    ASSERT_EQ(1, Init());  // would fail to bind the launcher port if the first stayed
    EXPECT_EQ(1, VantorServerController_VerifyAllNeededFilesExist());
    std::filesystem::remove(game.Path());
    EXPECT_EQ(0, VantorServerController_VerifyAllNeededFilesExist());
    EXPECT_EQ((std::vector<std::string>{"7:One or more of the required applications could not be found.\n"}),
              events.Errors());
    EXPECT_TRUE(log.Has("ERROR: The file [" + game.Path() + "] does not exist."));
    EXPECT_EQ(1, VantorServerController_Remove());
    EXPECT_TRUE(Tamber::SharedMutex::Create()->Holds());
    EXPECT_EQ(0, VantorServerController_Remove());
}

TEST_F(Launcher, InitFailsWhenTheLauncherPortIsTaken) {
    RawListener taken;
    launcherPort = taken.Port();
    EXPECT_EQ(0, Init());
    EXPECT_EQ((std::vector<std::string>{"6:Unable to start communications for vantor.\n"}), events.Errors());
    // The line is in the log before the callback runs, and the callback has no user data yet.
    EXPECT_NE(std::string::npos, events.logAtFirstError.find("ERROR: Unable to start communications for vantor.\n"));
    EXPECT_EQ(nullptr, events.errorUserData[0]);
    EXPECT_NE(nullptr, VantorServerController_GetAirServerHandle());  // the record stays
}

// Air gets the fixed arguments, its port and the extra ones, and its start is
// logged with the registered window handle; the longest accepted extra
// arguments (2000 characters) arrive whole, 2001 are refused without an error
// callback.
TEST_F(Launcher, StartArgsOpensBothServersAndStartsAirWithItsPort) {
    VantorServerController_RegisterHwnd(4711);
    ASSERT_EQ(1, Init());
    EXPECT_EQ(0, VantorServerController_StartArgs(std::string(2001, 'a').c_str()));
    EXPECT_EQ(1u, CountOf(log.Lines(), "ERROR: Failed because arguments passed are too long.\n"));
    EXPECT_EQ(0u, ProcessIdsNamed(air.Name()).size());
    const std::string longest(2000 - 8, 'a');
    ASSERT_EQ(1, VantorServerController_StartArgs(("x \"y z\" " + longest).c_str()));
    EXPECT_TRUE(RawPeer(gamePort).Connected());
    EXPECT_EQ((std::vector<std::string>{"-runtime", ".\\", "-nodebug", "META-INF\\AIR\\application.xml", ".\\", "--",
                                        std::to_string(airPort), "x", "y z", longest}),
              Started(air).second);
    // Air is looked for by its client name before it starts; the started copy has another name.
    EXPECT_TRUE(
        log.Has("ERROR: Looking for air at KavCLient.exe to fill in new proc info, but did not find it.\n"
                "INFO: Using registered HWND: 4711 to launch the air client.\n"
                "INFO: StartProcess [VANTORPROCESSTYPE_AIR] successful\n"));
    EXPECT_EQ(0u, events.Errors().size());
}

// A null server broadcasts to the Air clients; Stop ends supervision only;
// Start goes on past every failure; the error callback's user data comes from
// its setter.
TEST_F(Launcher, StopEndsSupervisionOnlyAndStartReportsEachFailure) {
    Connect();
    EXPECT_EQ(1, VantorServer_SendMessageToAllClients(nullptr, VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, nullptr));
    EXPECT_EQ(VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, ToAir().value_or(WireMessage{16, 1, -1, -1, ""}).type);
    EXPECT_EQ(0, VantorServerController_Start());
    EXPECT_EQ(1, VantorServerController_Stop());
    Tamber::TestClock::Advance(1000000u);
    EXPECT_EQ(1, VantorServerController_ProcessEvents());
    EXPECT_EQ(0, events.exits.load());
    EXPECT_TRUE(IsProcessAlive(airIds[0]));
    EXPECT_TRUE(RawPeer(airPort).Connected());
    HostEvents other;
    other.logPath = log.LogPath();
    EXPECT_EQ(1, VantorServerController_SetErrorMessageCallback(&other, RecordError));
    EXPECT_EQ(1, VantorServerController_Start());
    EXPECT_EQ((std::vector<std::string>{"7:The controller is already started.\n"}), events.Errors());
    EXPECT_EQ((std::vector<std::string>{"3:Unable to start communications for air.\n",
                                        "2:Unable to start communications for game.\n", "1:Unable to start air.\n"}),
              other.Errors());
    EXPECT_EQ(&other, other.errorUserData[0]);
    EXPECT_EQ(1, VantorServerController_SetErrorMessageCallback(nullptr, nullptr));
    VantorServerController_Start();
    EXPECT_EQ(3u, other.Errors().size());
}
