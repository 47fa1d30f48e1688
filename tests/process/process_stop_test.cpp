// Liveness, stopping with a grace period, killing by name and waiting by name.
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "process_fixture.h"

namespace {

using TamberTest::ChildProgram;
using TamberTest::ChildReport;
using TamberTest::OnDisk;
using TamberTest::RunningChild;

using ProcessStop = ProcessHelperTest;

// A copy whose name differs from program's only in letter case.
std::string OtherCase(const std::string& name) {
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

TEST_F(ProcessStop, NothingRecordedMeansNotRunning) {
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", "game"));
    EXPECT_EQ(0, Running(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 0));
    EXPECT_EQ("", Logged());
}

TEST_F(ProcessStop, ARecordedIdThatIsGoneIsNotRunning) {
    ChildProgram game;
    game.SetLifetime(0);
    RunningChild child(game);
    ASSERT_TRUE(TamberTest::WaitForProcessGone(child.Id()));
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, child.Id());
    EXPECT_EQ(0, Running(VANTORPROCESSTYPE_GAME));
}

TEST_F(ProcessStop, AnyRunningProcessUnderTheRecordedIdCounts) {
    // Ids are not checked against the executable name.
    ChildProgram other;
    RunningChild child(other);
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", "game"));
    SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, child.Id());
    EXPECT_EQ(1, Running(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 0));
    EXPECT_TRUE(TamberTest::WaitForProcessGone(child.Id()));
}

TEST_F(ProcessStop, AGameThatEndsWithinTheGraceIsLeftToEnd) {
    ChildProgram game;
    game.SetLifetime(1);
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
    const uint32_t id = RecordedId(VANTORPROCESSTYPE_GAME);
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 30000));
    EXPECT_TRUE(game.Finished(id));
    EXPECT_EQ(0, Running(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(id, RecordedId(VANTORPROCESSTYPE_GAME));
}

TEST_F(ProcessStop, AGameThatOutlivesTheGraceIsTerminated) {
    ChildProgram game;
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
    const uint32_t id = RecordedId(VANTORPROCESSTYPE_GAME);
    ChildReport report;
    ASSERT_TRUE(game.WaitForReport(id, &report));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 100));
    ASSERT_TRUE(TamberTest::WaitForProcessGone(id));
    EXPECT_FALSE(game.Finished(id));
    EXPECT_EQ(0, Running(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(id, RecordedId(VANTORPROCESSTYPE_GAME));
}

TEST_F(ProcessStop, UnknownTypesAreNeverRunning) {
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", "game"));
    EXPECT_EQ(1, VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_LAUNCHER, 0));
    EXPECT_EQ(OnDisk("ERROR: Unknown process type.\n"
                     "ERROR: Unknown process type.\n"
                     "ERROR: Unknown process type.\n"),
              Logged());
}

TEST_F(ProcessStop, KillByNameEndsEveryProcessOfExactlyThatName) {
    ChildProgram target;
    ChildProgram sameName(target.Name());
    ChildProgram otherCase(OtherCase(target.Name()));
    RunningChild first(target);
    RunningChild second(sameName, "x");
    RunningChild spared(otherCase);
    ASSERT_EQ(2u, TamberTest::ProcessIdsNamed(target.Name()).size());

    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(target.Path().c_str()));
    EXPECT_TRUE(TamberTest::WaitForProcessGone(first.Id()));
    EXPECT_TRUE(TamberTest::WaitForProcessGone(second.Id()));
    EXPECT_TRUE(TamberTest::IsProcessAlive(spared.Id()));
    EXPECT_EQ("", Logged());
}

TEST_F(ProcessStop, KillByNameTakesABareNameOrAnyPathToIt) {
    ChildProgram target;
    RunningChild bare(target);
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(target.Name().c_str()));
    EXPECT_TRUE(TamberTest::WaitForProcessGone(bare.Id()));
    RunningChild elsewhere(target);
    const std::string otherFolder = "C:\\Some Where\\" + target.Name();
    EXPECT_EQ(1, VantorProcessHelper_KillProcessByName(otherFolder.c_str()));
    EXPECT_TRUE(TamberTest::WaitForProcessGone(elsewhere.Id()));
}

TEST_F(ProcessStop, KillByNameNeverEndsTheCaller) {
    ChildProgram program;
    RunningChild sibling(program);
    ChildReport report;
    // Settings are read at start: the sibling must have read its own first.
    ASSERT_TRUE(program.WaitForReport(sibling.Id(), &report));
    program.SetKillOwnName();
    RunningChild killer(program);
    // The killer writes its report after its kill by its own name.
    ASSERT_TRUE(program.WaitForReport(killer.Id(), &report));
    EXPECT_TRUE(TamberTest::WaitForProcessGone(sibling.Id()));
    EXPECT_TRUE(TamberTest::IsProcessAlive(killer.Id()));
}

TEST_F(ProcessStop, KillProcessUsesTheTypesPath) {
    ChildProgram game;
    RunningChild child(game);
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    EXPECT_EQ(1, VantorProcessHelper_KillProcess(VANTORPROCESSTYPE_GAME));
    EXPECT_TRUE(TamberTest::WaitForProcessGone(child.Id()));
    EXPECT_EQ(0, VantorProcessHelper_KillProcess(5));
    EXPECT_EQ(OnDisk("ERROR: Unknown process type.\n"), Logged());
}

TEST_F(ProcessStop, WaitByNameReturnsWhenTheProcessEnds) {
    ChildProgram program;
    program.SetLifetime(2);
    RunningChild child(program);
    ChildReport report;
    ASSERT_TRUE(program.WaitForReport(child.Id(), &report));
    EXPECT_EQ(1, WaitForProcessExitByName(program.Path().c_str()));
    EXPECT_TRUE(program.Finished(child.Id()));
}

TEST_F(ProcessStop, WaitByNameEndsEarlyWhenTheProcessIsKilled) {
    ChildProgram program;
    RunningChild child(program);
    // Wine lists a new process by name a little after it starts.
    ASSERT_TRUE(TamberTest::WaitUntil([&] { return !TamberTest::ProcessIdsNamed(program.Name()).empty(); }));
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(child.Id());
        process.Terminate();
    });
    EXPECT_EQ(1, WaitForProcessExitByName(program.Name().c_str()));
    killer.join();
    EXPECT_FALSE(program.Finished(child.Id()));
}

TEST_F(ProcessStop, WaitByNameWithoutSuchAProcessIsZero) {
    ChildProgram program;
    EXPECT_EQ(0, WaitForProcessExitByName(program.Path().c_str()));
    EXPECT_EQ(0, WaitForProcessExitByName(nullptr));
}

}  // namespace
