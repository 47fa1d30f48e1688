// The table: path slots, recorded ids, the game path switch, and every export
// before Init.
#include <string>

#include "platform/strings.h"
#include "process_fixture.h"

namespace {

using TamberTest::OnDisk;

const char* PathOf(int32_t processType) {
    const char* path = nullptr;
    EXPECT_EQ(1, VantorProcessHelper_GetProcessPathForProcessType(processType, &path));
    return path;
}

using ProcessTable = ProcessHelperTest;

TEST_F(ProcessTable, EachTypeAnswersItsPath) {
    ASSERT_EQ(1, VantorProcessHelper_Init("C:\\L\\launcher.exe", "C:\\A\\KavCLient.exe", "C:\\G\\game.exe"));
    EXPECT_STREQ("C:\\L\\launcher.exe", PathOf(VANTORPROCESSTYPE_LAUNCHER));
    EXPECT_STREQ("C:\\A\\KavCLient.exe", PathOf(VANTORPROCESSTYPE_AIR));
    EXPECT_STREQ("C:\\G\\game.exe", PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_AIR));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ("", Logged());
}

TEST_F(ProcessTable, PathsAreCutAt259Characters) {
    const std::string longPath(300, 'p');
    ASSERT_EQ(1, VantorProcessHelper_Init(longPath.c_str(), longPath.c_str(), longPath.c_str()));
    EXPECT_EQ(longPath.substr(0, 259), PathOf(VANTORPROCESSTYPE_LAUNCHER));
    EXPECT_EQ(longPath.substr(0, 259), PathOf(VANTORPROCESSTYPE_AIR));
    EXPECT_EQ(longPath.substr(0, 259), PathOf(VANTORPROCESSTYPE_GAME));
    ASSERT_EQ(1, SetGamePath(std::string(400, 'v').c_str()));
    EXPECT_EQ(std::string(259, 'v'), PathOf(VANTORPROCESSTYPE_GAME));
}

TEST_F(ProcessTable, UnknownTypesHaveNoPathAndNoId) {
    ASSERT_EQ(1, VantorProcessHelper_Init("l", "a", "g"));
    const char* path = "untouched";
    EXPECT_EQ(0, VantorProcessHelper_GetProcessPathForProcessType(3, &path));
    EXPECT_EQ(nullptr, path);
    path = "untouched";
    EXPECT_EQ(0, VantorProcessHelper_GetProcessPathForProcessType(-1, &path));
    EXPECT_EQ(nullptr, path);

    uint32_t id = 77;
    EXPECT_EQ(0, GetProcessIdForProcessType(VANTORPROCESSTYPE_LAUNCHER, &id));
    EXPECT_EQ(77u, id);
    EXPECT_EQ(0, SetProcessIdForProcessType(VANTORPROCESSTYPE_LAUNCHER, 5));
    EXPECT_EQ(OnDisk("ERROR: Unknown process type.\n"
                     "ERROR: Unknown process type.\n"
                     "ERROR: Unknown process type.\n"
                     "ERROR: Unknown process type.\n"),
              Logged());
}

TEST_F(ProcessTable, IdsAreRecordedForAirAndGame) {
    ASSERT_EQ(1, VantorProcessHelper_Init("l", "a", "g"));
    EXPECT_EQ(1, SetProcessIdForProcessType(VANTORPROCESSTYPE_AIR, 1234));
    EXPECT_EQ(1, SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, 5678));
    EXPECT_EQ(1234u, RecordedId(VANTORPROCESSTYPE_AIR));
    EXPECT_EQ(5678u, RecordedId(VANTORPROCESSTYPE_GAME));
}

TEST_F(ProcessTable, SwitchingTheGamePathForgetsTheGame) {
    ASSERT_EQ(1, VantorProcessHelper_Init("l", "a", "C:\\G\\game.exe"));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, 42);
    SetProcessIdForProcessType(VANTORPROCESSTYPE_AIR, 43);
    ASSERT_EQ(1, SetGamePath("C:\\G\\versions\\1.2\\game.exe"));
    EXPECT_STREQ("C:\\G\\versions\\1.2\\game.exe", PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_GAME));

    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, 44);
    ASSERT_EQ(1, RestoreDefaultGamePath());
    EXPECT_STREQ("C:\\G\\game.exe", PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(43u, RecordedId(VANTORPROCESSTYPE_AIR));
}

TEST_F(ProcessTable, ASecondInitStartsAFreshTable) {
    ASSERT_EQ(1, VantorProcessHelper_Init("l1", "a1", "g1"));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_AIR, 7);
    SetGamePath("v1");
    ASSERT_EQ(1, VantorProcessHelper_Init("l2", "a2", "g2"));
    EXPECT_STREQ("l2", PathOf(VANTORPROCESSTYPE_LAUNCHER));
    EXPECT_STREQ("g2", PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_AIR));
    RestoreDefaultGamePath();
    EXPECT_STREQ("g2", PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(1, VantorProcessHelper_Remove());
    EXPECT_EQ(0, VantorProcessHelper_Remove());
    EXPECT_EQ(OnDisk("ERROR: VantorProcessHelper is not yet initialized.\n"), Logged());
}

TEST_F(ProcessTable, ANullPathLeavesItsSlotEmpty) {
    std::string report;
    Tamber::SetAssertionHandler([&](const char* text) { report = text; });
    ASSERT_EQ(1, VantorProcessHelper_Init("l", nullptr, "g"));
    Tamber::SetAssertionHandler(nullptr);
    EXPECT_STREQ("", PathOf(VANTORPROCESSTYPE_AIR));
    EXPECT_STREQ("l", PathOf(VANTORPROCESSTYPE_LAUNCHER));
    EXPECT_NE(std::string::npos, report.find("Expression: pSrc"));
}

TEST_F(ProcessTable, EveryExportNeedsInitExceptKillByName) {
    TamberTest::ChildProgram program;
    const std::string notInitialized = "ERROR: VantorProcessHelper is not yet initialized.\n";

    EXPECT_EQ(0, VantorProcessHelper_Remove());
    const char* path = "untouched";
    EXPECT_EQ(0, VantorProcessHelper_GetProcessPathForProcessType(VANTORPROCESSTYPE_GAME, &path));
    EXPECT_EQ(nullptr, path);
    int32_t running = 5;
    EXPECT_EQ(0, VantorProcessHelper_IsProcessRunning(VANTORPROCESSTYPE_GAME, &running));
    EXPECT_EQ(0, running);
    EXPECT_EQ(0, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 0));
    EXPECT_EQ(0, VantorProcessHelper_KillProcess(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(0, VantorProcessHelper_AllFilesExist());
    EXPECT_EQ(OnDisk(notInitialized + notInitialized + notInitialized + notInitialized + notInitialized +
                     notInitialized),
              Logged());

    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(program.Path().c_str()));
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(nullptr));
    EXPECT_EQ(OnDisk(notInitialized + notInitialized + notInitialized + notInitialized + notInitialized +
                     notInitialized),
              Logged());

    EXPECT_EQ(0, SetGamePath("g"));
    EXPECT_EQ(0, RestoreDefaultGamePath());
    EXPECT_EQ(0, SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, 1));
    uint32_t id = 9;
    EXPECT_EQ(0, GetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, &id));
    EXPECT_EQ(9u, id);
}

TEST_F(ProcessTable, StartBeforeInitIsRefused) {
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, "x"));
    const std::string logged = Logged();
    const std::string expected = OnDisk(
        "INFO: New thread go!\n"
        "INFO: Starting Process Thread Spinning\n"
        "ERROR: VantorProcessHelper is not yet initialized.\n"
        "ERROR: Process Start: ");
    EXPECT_EQ(expected, logged.substr(0, expected.size()));
    EXPECT_EQ(1u, TamberTest::CountOf(logged, "Process Start: "));
    EXPECT_EQ(0, RunProcessStart(VANTORPROCESSTYPE_GAME, "x"));
}

}  // namespace
