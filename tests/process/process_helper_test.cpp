// The process table, its command lines and file checks, liveness, stopping
// with a grace period, killing by name and waiting by name.
#include <fstream>

#include "platform/process.h"
#include "platform/strings.h"
#include "process/command_line.h"
#include "process_fixture.h"

namespace {

using namespace TamberTest;
using ProcessHelper = ProcessHelperTest;

const char* PathOf(int32_t processType) {
    const char* path = nullptr;
    EXPECT_EQ(1, VantorProcessHelper_GetProcessPathForProcessType(processType, &path));
    return path;
}

// Before Init only kill by name works; paths are cut at 259, a null one stays
// empty with an assertion report; unknown types have nothing; switching the
// game path forgets the game, and a second Init starts afresh.
TEST_F(ProcessHelper, TablePathsAndUnknownTypes) {
    const std::string notInit = OnDisk("ERROR: VantorProcessHelper is not yet initialized.\n");
    const char* path = "untouched";
    EXPECT_EQ(0, VantorProcessHelper_GetProcessPathForProcessType(VANTORPROCESSTYPE_GAME, &path));
    EXPECT_EQ(nullptr, path);
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, "x"));
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(nullptr));
    EXPECT_EQ(std::make_tuple(std::size_t{0}, std::size_t{2}),
              std::make_tuple(Logged().find(notInit), CountOf(Logged(), notInit)));
    EXPECT_NE(std::string::npos, Logged().find(notInit + OnDisk("ERROR: Process Start: ")));
    std::string report;
    Tamber::SetAssertionHandler([&](const char* text) { report = text; });
    ASSERT_EQ(1, VantorProcessHelper_Init("C:\\L\\launcher.exe", nullptr, std::string(300, 'p').c_str()));
    Tamber::SetAssertionHandler(nullptr);
    EXPECT_NE(std::string::npos, report.find("Expression: pSrc"));
    EXPECT_STREQ("C:\\L\\launcher.exe", PathOf(VANTORPROCESSTYPE_LAUNCHER));
    EXPECT_STREQ("", PathOf(VANTORPROCESSTYPE_AIR));
    EXPECT_EQ(std::string(259, 'p'), PathOf(VANTORPROCESSTYPE_GAME));
    const std::size_t before = Logged().size();
    uint32_t id = 77;
    EXPECT_EQ(std::make_tuple(0, 0, 0, 0), std::make_tuple(VantorProcessHelper_GetProcessPathForProcessType(3, &path),
                                                           GetProcessIdForProcessType(VANTORPROCESSTYPE_LAUNCHER, &id),
                                                           SetProcessIdForProcessType(VANTORPROCESSTYPE_LAUNCHER, 5),
                                                           VantorProcessHelper_KillProcess(5)));
    EXPECT_EQ(std::make_tuple(static_cast<const char*>(nullptr), 77u), std::make_tuple(path, id));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_LAUNCHER, 0));
    EXPECT_EQ(7u, CountOf(Logged().substr(before), OnDisk("ERROR: Unknown process type.\n")));
    ASSERT_EQ(1, VantorProcessHelper_Init("l", "a", "C:\\G\\game.exe"));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, 42);
    SetProcessIdForProcessType(VANTORPROCESSTYPE_AIR, 43);
    ASSERT_EQ(1, SetGamePath(std::string(400, 'v').c_str()));
    EXPECT_EQ(std::string(259, 'v'), PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_GAME));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, 44);
    ASSERT_EQ(1, RestoreDefaultGamePath());
    EXPECT_STREQ("C:\\G\\game.exe", PathOf(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(std::make_tuple(0u, 43u),
              std::make_tuple(RecordedId(VANTORPROCESSTYPE_GAME), RecordedId(VANTORPROCESSTYPE_AIR)));
    SetGamePath("v1");
    ASSERT_EQ(1, VantorProcessHelper_Init("l2", "a2", "g2"));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_AIR));
    RestoreDefaultGamePath();
    EXPECT_STREQ("g2", PathOf(VANTORPROCESSTYPE_GAME));
}

// A path with a space, and the arguments as given, are the child start test's.
TEST(CommandLine, QuotesThePathOnlyWhenItHoldsASpace) {
    const std::pair<const char*, const char*> cases[][2] = {
        {{"C:\\Ga\tmes\\g&me.exe", ""}, {"C:\\Ga\tmes\\g&me.exe", ""}},
        {{"\"C:\\My Games\\game.exe\"", "x"}, {"\"\"C:\\My Games\\game.exe\"\" x", ""}},
        {{"\"C:\\Games\\game.exe\"", "x"}, {"\"C:\\Games\\game.exe\" x", ""}},
        {{"game.exe", nullptr}, {"game.exe", ""}},
        {{nullptr, nullptr}, {"", ""}}};
    for (const auto& c : cases) EXPECT_EQ(c[1].first, BuildCommandLine(c[0].first, c[0].second));
}

// A bare name is looked for beside the host executable, a directory counts,
// and a missing file's line has no line end of its own.
TEST_F(ProcessHelper, FileChecks) {
    const std::string launcher = log_.Folder().File("launcher.exe"), air = log_.Folder().File("air.exe"),
                      game = log_.Folder().File("game.exe");
    std::ofstream(air) << "x";
    for (const std::string& f : {std::string("tamber_child") + kExeSuffix, log_.Folder().Path().string(), air})
        EXPECT_EQ(1, VerifyFileExists(f.c_str())) << f;
    EXPECT_EQ(0, VerifyFileExists("air.exe"));
    ASSERT_EQ(1, VantorProcessHelper_Init(launcher.c_str(), air.c_str(), game.c_str()));
    EXPECT_EQ(0, VantorProcessHelper_AllFilesExist());
    EXPECT_EQ("ERROR: The file [air.exe] does not exist.ERROR: The file [" + launcher +
                  "] does not exist.ERROR: The file [" + game + "] does not exist.",
              Logged());
}

// A recorded process counts while it runs, whatever its name: not when none
// is recorded, nor when its id has gone or the system has given it to a
// process that started at another time, which stop then leaves alone. Stop
// leaves the game its grace, then terminates it; the id stays recorded.
TEST_F(ProcessHelper, RunningMeansTheRecordedProcessRunsAndStopGivesAGrace) {
    ChildProgram gone, other, game;
    gone.SetLifetime(0);
    other.SetLifetime(2);
    RunningChild ended(gone), child(other);
    ASSERT_TRUE(other.WaitForReport(child.Id()));
    ASSERT_TRUE(WaitForProcessGone(ended.Id()));
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    Tamber::ProcessIdentity reused{child.Id(), 0};
    ASSERT_TRUE(Tamber::ProcessHandle::Open(child.Id()).ReadStartTime(&reused.startTime));
    reused.startTime -= 1;  // as recorded for an earlier process of that id
    const Tamber::ProcessIdentity notRunning[] = {{0, 0}, {ended.Id(), 0}, reused};
    for (const Tamber::ProcessIdentity& recorded : notRunning) {
        ASSERT_TRUE(WriteProcessIdentity(*CurrentProcessTable(), VANTORPROCESSTYPE_GAME, recorded));
        EXPECT_EQ(0, Running(VANTORPROCESSTYPE_GAME)) << recorded.id;
        EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 0)) << recorded.id;
    }
    ASSERT_EQ(1, SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, child.Id()));
    EXPECT_EQ(1, Running(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 30000));
    ASSERT_TRUE(WaitForProcessGone(child.Id()));
    EXPECT_TRUE(other.Finished(child.Id()));
    EXPECT_EQ("", Logged());
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
    const uint32_t id = RecordedId(VANTORPROCESSTYPE_GAME);
    ASSERT_TRUE(game.WaitForReport(id));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 100));
    ASSERT_TRUE(WaitForProcessGone(id));
    EXPECT_FALSE(game.Finished(id));
    EXPECT_EQ(std::make_tuple(0, id),
              std::make_tuple(Running(VANTORPROCESSTYPE_GAME), RecordedId(VANTORPROCESSTYPE_GAME)));
}

// Exactly that name, bare or behind any folder; a copy whose name differs in
// letter case is spared, to live to its end, which a wait by its name sees; the type's path serves
// KillProcess; the caller survives a kill by its own name.
TEST_F(ProcessHelper, KillByNameEndsEveryProcessOfExactlyThatName) {
    ChildProgram target, sameName(target.Name());
    std::string upper = target.Name();
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    ChildProgram otherCase(upper);
    // Long enough for a slow scan under Wine to reach it before it ends.
    otherCase.SetLifetime(5);
    RunningChild first(target), second(sameName, "x"), spared(otherCase);
    ASSERT_TRUE(otherCase.WaitForReport(spared.Id()));
    ASSERT_EQ(2u, ProcessIdsNamed(target.Name()).size());
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(("C:\\Some Where\\" + target.Name()).c_str()));
    EXPECT_TRUE(WaitForProcessGone(first.Id()));
    EXPECT_TRUE(WaitForProcessGone(second.Id()));
    // The wait by name returns once it is gone, and at once when none runs.
    EXPECT_EQ(1, WaitForProcessExitByName(otherCase.Path().c_str()));
    EXPECT_TRUE(otherCase.Finished(spared.Id()));
    EXPECT_EQ(0, WaitForProcessExitByName(otherCase.Path().c_str()));
    EXPECT_EQ(0, WaitForProcessExitByName(nullptr));
    RunningChild typed(target);
    // A kill by name ends what is listed by then; a slow start lists it late.
    ASSERT_TRUE(WaitUntil([&] { return ProcessIdsNamed(target.Name()).size() == 1; }));
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", target.Path().c_str()));
    EXPECT_EQ(1, VantorProcessHelper_KillProcess(VANTORPROCESSTYPE_GAME));
    EXPECT_TRUE(WaitForProcessGone(typed.Id()));
    EXPECT_EQ("", Logged());
    RunningChild sibling(target);
    // Settings are read at start: the sibling must have read its own first.
    ASSERT_TRUE(target.WaitForReport(sibling.Id()));
    target.SetKillOwnName();
    RunningChild killer(target);
    // The killer writes its report after its kill by its own name.
    ASSERT_TRUE(target.WaitForReport(killer.Id()));
    EXPECT_TRUE(WaitForProcessGone(sibling.Id()));
    EXPECT_TRUE(IsProcessAlive(killer.Id()));
}

}  // namespace
