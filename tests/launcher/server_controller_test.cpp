#include <string>

#include "launcher_fixture.h"
#include "platform/shared_mutex.h"

using namespace TamberTest;

namespace {

const char* const kNotInitialized = "ERROR: VantorServerControllerStruct is not yet initialized.\n";

TEST(LauncherUninitialised, ExportsFailWithOneLineEach) {
    LogSession log("none");
    EXPECT_EQ(0, VantorServerController_Remove());
    EXPECT_EQ(0, VantorServerController_Start());
    EXPECT_EQ(0, VantorServerController_StartArgs("x"));
    EXPECT_EQ(0, VantorServerController_StartArgsExplicit("x"));
    EXPECT_EQ(0, VantorServerController_Stop());
    EXPECT_EQ(0, VantorServerController_SetErrorMessageCallback(nullptr, nullptr));
    EXPECT_EQ(0, VantorServerController_SetExitCallback(nullptr, nullptr));
    EXPECT_EQ(0, VantorServerController_VerifyAllNeededFilesExist());
    EXPECT_EQ(0, VantorServerController_ProcessEvents());
    EXPECT_EQ(9u, CountOf(log.Lines(), kNotInitialized));
    // These two log nothing.
    EXPECT_EQ(nullptr, VantorServerController_GetAirServerHandle());
    EXPECT_EQ(1, VantorServerController_RegisterHwnd(5));
    EXPECT_EQ(0, VantorServer_SendMessageToAllClients(nullptr, VANTORMESSAGETYPE_CLOSE, nullptr));
    EXPECT_EQ(9u, CountOf(log.Lines(), "ERROR: "));
    // Too-long arguments are refused before the record is looked for.
    const std::string tooLong(2001, 'a');
    EXPECT_EQ(0, VantorServerController_StartArgs(tooLong.c_str()));
    EXPECT_EQ(1u, CountOf(log.Lines(), "ERROR: Failed because arguments passed are too long.\n"));
}

TEST_F(Launcher, InitListensOnTheLauncherPortOnly) {
    ASSERT_EQ(1, Init());
    EXPECT_TRUE(RawPeer(launcherPort).Connected());
    EXPECT_FALSE(RawPeer(airPort).Connected());
    EXPECT_FALSE(RawPeer(gamePort).Connected());
    EXPECT_NE(nullptr, VantorServerController_GetAirServerHandle());
    EXPECT_TRUE(ProcessIdsNamed(air.Name()).empty());  // no process started
}

TEST_F(Launcher, InitHoldsTheInstanceSemaphoreUntilRemove) {
    ASSERT_EQ(1, Init());
    EXPECT_FALSE(Tamber::SharedMutex::Create()->Holds());
    EXPECT_EQ(1, VantorServerController_Remove());
    EXPECT_TRUE(Tamber::SharedMutex::Create()->Holds());
    EXPECT_EQ(0, VantorServerController_Remove());
}

TEST_F(Launcher, InitEndsLeftoverCopiesOfTheThreePrograms) {
    RunningChild oldLauncher(launcher);
    RunningChild oldAir(air);
    RunningChild oldGame(game);
    ASSERT_EQ(1, Init());
    EXPECT_TRUE(WaitForProcessGone(oldLauncher.Id()));
    EXPECT_TRUE(WaitForProcessGone(oldAir.Id()));
    EXPECT_TRUE(WaitForProcessGone(oldGame.Id()));
}

TEST_F(Launcher, InitFailsWhenTheLauncherPortIsTaken) {
    RawListener taken;
    launcherPort = taken.Port();
    EXPECT_EQ(0, Init());
    const auto errors = events.Errors();
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ("6:Unable to start communications for vantor.\n", errors[0]);
    // The line is in the log before the callback runs, and the callback has no user data yet.
    EXPECT_NE(std::string::npos, events.logAtFirstError.find("ERROR: Unable to start communications for vantor.\n"));
    EXPECT_EQ(nullptr, events.errorUserData[0]);
    EXPECT_NE(nullptr, VantorServerController_GetAirServerHandle());  // the record stays
}

TEST_F(Launcher, StartOpensBothServersAndStartsAirWithItsPort) {
    VantorServerController_RegisterHwnd(4711);
    InitAndStart();
    EXPECT_TRUE(RawPeer(airPort).Connected());
    EXPECT_TRUE(RawPeer(gamePort).Connected());
    ChildReport report;
    ASSERT_TRUE(air.WaitForReport(airIds[0], &report));
    EXPECT_EQ((std::vector<std::string>{"-runtime", ".\\", "-nodebug", "META-INF\\AIR\\application.xml", ".\\", "--",
                                        std::to_string(airPort)}),
              std::vector<std::string>(report.argv.begin() + 1, report.argv.end()));
    EXPECT_NE(std::string::npos, Log().find("INFO: Using registered HWND: 4711 to launch the air client.\n"));
    EXPECT_TRUE(events.Errors().empty());
}

TEST_F(Launcher, StartArgsAppendsTheExtraArguments) {
    ASSERT_EQ(1, Init());
    ASSERT_EQ(1, VantorServerController_StartArgs("x \"y z\""));
    airIds = ProcessIdsNamed(air.Name());
    ASSERT_EQ(1u, airIds.size());
    ChildReport report;
    ASSERT_TRUE(air.WaitForReport(airIds[0], &report));
    ASSERT_EQ(10u, report.argv.size());
    EXPECT_EQ(std::to_string(airPort), report.argv[7]);
    EXPECT_EQ("x", report.argv[8]);
    EXPECT_EQ("y z", report.argv[9]);
}

TEST_F(Launcher, ArgumentLengthLimit) {
    ASSERT_EQ(1, Init());
    const std::string tooLong(2001, 'a');
    EXPECT_EQ(0, VantorServerController_StartArgs(tooLong.c_str()));
    EXPECT_TRUE(ProcessIdsNamed(air.Name()).empty());
    EXPECT_TRUE(events.Errors().empty());  // no error callback for this one
    const std::string longest(2000, 'a');
    EXPECT_EQ(1, VantorServerController_StartArgs(longest.c_str()));
}

TEST_F(Launcher, StartWhileStartedIsRefused) {
    InitAndStart();
    EXPECT_EQ(0, VantorServerController_Start());
    EXPECT_EQ((std::vector<std::string>{"7:The controller is already started.\n"}), events.Errors());
    EXPECT_EQ(1u, ProcessIdsNamed(air.Name()).size());
}

TEST_F(Launcher, StartGoesOnPastEveryFailure) {
    RawListener takenAir;
    airPort = takenAir.Port();
    ASSERT_EQ(1, Init());
    EXPECT_EQ(1, VantorServerController_Start());
    EXPECT_EQ((std::vector<std::string>{"3:Unable to start communications for air.\n"}), events.Errors());
    EXPECT_EQ(1u, ProcessIdsNamed(air.Name()).size());  // Air is launched all the same
}

TEST_F(Launcher, StartAgainAfterStopReportsBothServers) {
    InitAndStart();
    EXPECT_EQ(1, VantorServerController_Stop());
    ASSERT_TRUE(WaitUntil([&] { return !ProcessIdsNamed(air.Name()).empty(); }));
    EXPECT_EQ(1, VantorServerController_Start());
    EXPECT_EQ((std::vector<std::string>{"3:Unable to start communications for air.\n",
                                        "2:Unable to start communications for game.\n",
                                        "1:Unable to start air.\n"}),
              events.Errors());
}

TEST_F(Launcher, ErrorCallbackUserDataComesFromTheSetter) {
    ASSERT_EQ(1, Init());
    HostEvents other;
    other.logPath = log.LogPath();
    EXPECT_EQ(1, VantorServerController_SetErrorMessageCallback(&other, RecordError));
    VantorServerController_Start();
    VantorServerController_Start();
    ASSERT_EQ(1u, other.Errors().size());
    EXPECT_EQ(&other, other.errorUserData[0]);
    EXPECT_EQ(1, VantorServerController_SetErrorMessageCallback(nullptr, nullptr));
    VantorServerController_Start();
    EXPECT_EQ(1u, other.Errors().size());
}

TEST_F(Launcher, VerifyFilesReportsAMissingProgram) {
    ASSERT_EQ(1, Init());
    EXPECT_EQ(1, VantorServerController_VerifyAllNeededFilesExist());
    std::filesystem::remove(game.Path());
    EXPECT_EQ(0, VantorServerController_VerifyAllNeededFilesExist());
    EXPECT_EQ((std::vector<std::string>{"7:One or more of the required applications could not be found.\n"}),
              events.Errors());
    EXPECT_NE(std::string::npos, Log().find("ERROR: The file [" + game.Path() + "] does not exist."));
}

TEST_F(Launcher, NullServerBroadcastReachesTheAirClients) {
    InitAndStart();
    RawPeer airPeer(airPort);
    // The peer is listed once the accept thread has taken it: broadcast until it hears one.
    EXPECT_TRUE(WaitUntil([&] {
        EXPECT_EQ(1, VantorServer_SendMessageToAllClients(nullptr, VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, nullptr));
        auto message = airPeer.Receive(100);
        return message && message->type == VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED;
    }));
}

TEST_F(Launcher, ASecondInitReplacesTheFirst) {
    InitAndStart();
    ASSERT_EQ(1, Init());  // would fail to bind the launcher port if the first stayed
    EXPECT_TRUE(RawPeer(launcherPort).Connected());
    EXPECT_FALSE(RawPeer(airPort).Connected());
}

TEST_F(Launcher, StopEndsSupervisionOnly) {
    InitAndStart();
    EXPECT_EQ(1, VantorServerController_Stop());
    Tamber::TestClock::Advance(1000000u);
    EXPECT_EQ(1, VantorServerController_ProcessEvents());
    EXPECT_EQ(0, events.exits.load());
    EXPECT_TRUE(IsProcessAlive(airIds[0]));
    EXPECT_TRUE(RawPeer(airPort).Connected());
}

}  // namespace
