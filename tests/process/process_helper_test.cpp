// The process table, its command lines and file checks, liveness, stopping
// with a grace period, killing by name and waiting by name.
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/strings.h"
#include "process/command_line.h"
#include "process_fixture.h"

namespace {

using TamberTest::ChildProgram;
using TamberTest::ChildReport;
using TamberTest::CountOf;
using TamberTest::OnDisk;
using TamberTest::RunningChild;
using TamberTest::WaitForProcessGone;
using ProcessHelper = ProcessHelperTest;

const char* PathOf(int32_t processType) {
    const char* path = nullptr;
    EXPECT_EQ(1, VantorProcessHelper_GetProcessPathForProcessType(processType, &path));
    return path;
}

TEST_F(ProcessHelper, PathsAreCutAt259AndUnknownTypesHaveNone) {
    const std::string longPath(300, 'p');
    ASSERT_EQ(1, VantorProcessHelper_Init("C:\\L\\launcher.exe", "C:\\A\\KavCLient.exe", longPath.c_str()));
    EXPECT_STREQ("C:\\L\\launcher.exe", PathOf(VANTORPROCESSTYPE_LAUNCHER));
    EXPECT_STREQ("C:\\A\\KavCLient.exe", PathOf(VANTORPROCESSTYPE_AIR));
    EXPECT_EQ(longPath.substr(0, 259), PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ("", Logged());
    const char* path = "untouched";
    EXPECT_EQ(0, VantorProcessHelper_GetProcessPathForProcessType(3, &path));
    EXPECT_EQ(nullptr, path);
    uint32_t id = 77;
    EXPECT_EQ(0, GetProcessIdForProcessType(VANTORPROCESSTYPE_LAUNCHER, &id));
    EXPECT_EQ(77u, id);
    EXPECT_EQ(0, SetProcessIdForProcessType(VANTORPROCESSTYPE_LAUNCHER, 5));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_LAUNCHER, 0));
    EXPECT_EQ(0, VantorProcessHelper_KillProcess(5));
    EXPECT_EQ(7u, CountOf(Logged(), OnDisk("ERROR: Unknown process type.\n")));
}

TEST_F(ProcessHelper, SwitchingTheGamePathForgetsTheGameAndASecondInitStartsAfresh) {
    ASSERT_EQ(1, VantorProcessHelper_Init("l", "a", "C:\\G\\game.exe"));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, 42);
    SetProcessIdForProcessType(VANTORPROCESSTYPE_AIR, 43);
    ASSERT_EQ(1, SetGamePath(std::string(400, 'v').c_str()));
    EXPECT_EQ(std::string(259, 'v'), PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_GAME));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, 44);
    ASSERT_EQ(1, RestoreDefaultGamePath());
    EXPECT_STREQ("C:\\G\\game.exe", PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(43u, RecordedId(VANTORPROCESSTYPE_AIR));
    SetGamePath("v1");
    ASSERT_EQ(1, VantorProcessHelper_Init("l2", "a2", "g2"));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_AIR));
    RestoreDefaultGamePath();
    EXPECT_STREQ("g2", PathOf(VANTORPROCESSTYPE_GAME));
}

TEST_F(ProcessHelper, ANullPathLeavesItsSlotEmpty) {
    std::string report;
    Tamber::SetAssertionHandler([&](const char* text) { report = text; });
    ASSERT_EQ(1, VantorProcessHelper_Init("l", nullptr, "g"));
    Tamber::SetAssertionHandler(nullptr);
    EXPECT_STREQ("", PathOf(VANTORPROCESSTYPE_AIR));
    EXPECT_NE(std::string::npos, report.find("Expression: pSrc"));
}

TEST_F(ProcessHelper, EveryExportNeedsInitExceptKillByName) {
    ChildProgram program;
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
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(program.Path().c_str()));
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(nullptr));
    EXPECT_EQ(0, SetGamePath("g"));
    EXPECT_EQ(0, SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, 1));
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, "x"));
    const std::string expected = OnDisk("ERROR: VantorProcessHelper is not yet initialized.\n");
    EXPECT_EQ(CountOf(Logged(), expected), 9u);
    EXPECT_EQ(Logged().substr(0, expected.size() * 6), expected + expected + expected + expected + expected + expected);
    EXPECT_NE(std::string::npos, Logged().find(expected + OnDisk("ERROR: Process Start: ")));
}

TEST(CommandLine, QuotesThePathOnlyWhenItHoldsASpace) {
    EXPECT_EQ("\"C:\\Program Files\\Game\\game.exe\" -a 1", BuildCommandLine("C:\\Program Files\\Game\\game.exe", "-a 1"));
    EXPECT_EQ("C:\\Ga\tmes\\g&me.exe", BuildCommandLine("C:\\Ga\tmes\\g&me.exe", ""));
    EXPECT_EQ("\"\"C:\\My Games\\game.exe\"\" x", BuildCommandLine("\"C:\\My Games\\game.exe\"", "x"));
    EXPECT_EQ("\"C:\\Games\\game.exe\" x", BuildCommandLine("\"C:\\Games\\game.exe\"", "x"));
    EXPECT_EQ("game.exe  \"a b\"\\ ", BuildCommandLine("game.exe", " \"a b\"\\ "));
    EXPECT_EQ("game.exe", BuildCommandLine("game.exe", nullptr));
    EXPECT_EQ("", BuildCommandLine(nullptr, nullptr));
}

// A bare name is looked for beside the host executable, a directory counts,
// and a missing file's line has no line end of its own.
TEST_F(ProcessHelper, FileChecks) {
    const std::string folder = log_.Folder().Path().string();
    const std::string launcher = log_.Folder().File("launcher.exe"), air = log_.Folder().File("air.exe"),
                      game = log_.Folder().File("game.exe");
    std::ofstream(air) << "x";
    EXPECT_EQ(1, VerifyFileExists((std::string("tamber_child") + TamberTest::kExeSuffix).c_str()));
    EXPECT_EQ(1, VerifyFileExists(folder.c_str()));
    EXPECT_EQ(1, VerifyFileExists(air.c_str()));
    EXPECT_EQ(0, VerifyFileExists("air.exe"));
    ASSERT_EQ(1, VantorProcessHelper_Init(launcher.c_str(), air.c_str(), game.c_str()));
    EXPECT_EQ(0, VantorProcessHelper_AllFilesExist());
    EXPECT_EQ("ERROR: The file [air.exe] does not exist.ERROR: The file [" + launcher +
                  "] does not exist.ERROR: The file [" + game + "] does not exist.",
              Logged());
    std::ofstream(launcher) << "x";
    std::ofstream(game) << "x";
    EXPECT_EQ(1, VantorProcessHelper_AllFilesExist());
}

// Any running process under the recorded id counts: ids are not checked
// against the executable name; an id that has gone does not.
TEST_F(ProcessHelper, RunningMeansTheRecordedIdRuns) {
    ChildProgram gone, other;
    gone.SetLifetime(0);
    RunningChild ended(gone), child(other);
    ASSERT_TRUE(WaitForProcessGone(ended.Id()));
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", "game"));
    EXPECT_EQ(0, Running(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 0));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, ended.Id());
    EXPECT_EQ(0, Running(VANTORPROCESSTYPE_GAME));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, child.Id());
    EXPECT_EQ(1, Running(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 0));
    EXPECT_TRUE(WaitForProcessGone(child.Id()));
    EXPECT_EQ("", Logged());
}

TEST_F(ProcessHelper, StopLeavesTheGameItsGraceThenTerminatesIt) {
    ChildProgram game;
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    for (const unsigned lifetime : {1u, 60u}) {
        game.SetLifetime(lifetime);
        ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
        const uint32_t id = RecordedId(VANTORPROCESSTYPE_GAME);
        ChildReport report;
        ASSERT_TRUE(game.WaitForReport(id, &report));
        EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, lifetime == 1 ? 30000 : 100));
        ASSERT_TRUE(WaitForProcessGone(id));
        EXPECT_EQ(lifetime == 1, game.Finished(id));
        EXPECT_EQ(0, Running(VANTORPROCESSTYPE_GAME));
        EXPECT_EQ(id, RecordedId(VANTORPROCESSTYPE_GAME));
    }
}

// Exactly that name, bare or behind any folder; a copy whose name differs in
// letter case is spared; the type's path serves KillProcess.
TEST_F(ProcessHelper, KillByNameEndsEveryProcessOfExactlyThatName) {
    ChildProgram target;
    ChildProgram sameName(target.Name());
    std::string upper = target.Name();
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    ChildProgram otherCase(upper);
    RunningChild first(target), second(sameName, "x"), spared(otherCase);
    ASSERT_EQ(2u, TamberTest::ProcessIdsNamed(target.Name()).size());
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(target.Path().c_str()));
    EXPECT_TRUE(WaitForProcessGone(first.Id()));
    EXPECT_TRUE(WaitForProcessGone(second.Id()));
    EXPECT_TRUE(TamberTest::IsProcessAlive(spared.Id()));
    RunningChild bare(target);
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(target.Name().c_str()));
    EXPECT_TRUE(WaitForProcessGone(bare.Id()));
    RunningChild elsewhere(target);
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(("C:\\Some Where\\" + target.Name()).c_str()));
    EXPECT_TRUE(WaitForProcessGone(elsewhere.Id()));
    RunningChild typed(target);
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", target.Path().c_str()));
    EXPECT_EQ(1, VantorProcessHelper_KillProcess(VANTORPROCESSTYPE_GAME));
    EXPECT_TRUE(WaitForProcessGone(typed.Id()));
    EXPECT_EQ("", Logged());
}

TEST_F(ProcessHelper, KillByNameNeverEndsTheCaller) {
    ChildProgram program;
    RunningChild sibling(program);
    ChildReport report;
    // Settings are read at start: the sibling must have read its own first.
    ASSERT_TRUE(program.WaitForReport(sibling.Id(), &report));
    program.SetKillOwnName();
    RunningChild killer(program);
    // The killer writes its report after its kill by its own name.
    ASSERT_TRUE(program.WaitForReport(killer.Id(), &report));
    EXPECT_TRUE(WaitForProcessGone(sibling.Id()));
    EXPECT_TRUE(TamberTest::IsProcessAlive(killer.Id()));
}

TEST_F(ProcessHelper, WaitByNameReturnsWhenTheProcessEndsOrIsKilled) {
    ChildProgram program;
    EXPECT_EQ(0, WaitForProcessExitByName(program.Path().c_str()));
    EXPECT_EQ(0, WaitForProcessExitByName(nullptr));
    program.SetLifetime(2);
    RunningChild ending(program);
    ChildReport report;
    ASSERT_TRUE(program.WaitForReport(ending.Id(), &report));
    EXPECT_EQ(1, WaitForProcessExitByName(program.Path().c_str()));
    EXPECT_TRUE(program.Finished(ending.Id()));
    program.SetLifetime(60);
    RunningChild killed(program);
    // Wine lists a new process by name a little after it starts.
    ASSERT_TRUE(TamberTest::WaitUntil([&] { return !TamberTest::ProcessIdsNamed(program.Name()).empty(); }));
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Tamber::ProcessHandle::Open(killed.Id()).Terminate();
    });
    EXPECT_EQ(1, WaitForProcessExitByName(program.Name().c_str()));
    killer.join();
    EXPECT_FALSE(program.Finished(killed.Id()));
}

}  // namespace
