// Starting programs: what the child receives, where it runs, the log lines,
// refusals and failures.
#include <filesystem>

#include "platform/process.h"
#include "platform/syserror.h"
#include "process/command_line.h"
#include "process_fixture.h"

namespace {

using namespace TamberTest;
using Words = std::vector<std::string>;

// The system's text for code as the log holds it after "[context] ".
std::string SystemText(uint32_t code) {
    char text[512] = {};
    Tamber::SystemErrorText(code, text, sizeof text);
    return text;
}

bool SameDirectory(const std::string& a, const std::string& b) {
    std::error_code ignored;
    return std::filesystem::equivalent(a, b, ignored);
}

const std::string kThreadLines = OnDisk("INFO: New thread go!\nINFO: Starting Process Thread Spinning\n");

using ProcessStart = ProcessHelperTest;

// The game starts in its own directory with its arguments, once. The launcher
// starts but is never recorded.
TEST_F(ProcessStart, TheGameStartsInItsOwnDirectoryOnceAtATime) {
    ChildProgram game;
    ASSERT_EQ(1, VantorProcessHelper_Init(game.Path().c_str(), "air", game.Path().c_str()));
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, "-a 1"));
    const uint32_t id = RecordedId(VANTORPROCESSTYPE_GAME);
    ChildReport report;
    ASSERT_TRUE(game.WaitForReport(id, &report));
    EXPECT_EQ((Words{game.Path(), "-a", "1"}), report.argv);
    EXPECT_TRUE(SameDirectory(game.Directory(), report.workingDirectory)) << report.workingDirectory;
    EXPECT_EQ(kThreadLines + OnDisk("INFO: StartProcess [VANTORPROCESSTYPE_GAME] successful\n"), Logged());
    std::size_t before = Logged().size();
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
    EXPECT_EQ((std::vector<uint32_t>{id}), ProcessIdsNamed(game.Name()));
    const std::string refused = kThreadLines + OnDisk("ERROR: Process is already running.\nERROR: Process Start: ");
    EXPECT_EQ(refused, Logged().substr(before, refused.size()));
    VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, 0);
    ASSERT_TRUE(WaitForProcessGone(id));
    before = Logged().size();
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_LAUNCHER, ""));
    const std::string unknown = OnDisk("ERROR: Unknown process type.\n");
    EXPECT_EQ(kThreadLines + unknown + unknown + unknown +
                  OnDisk("INFO: StartProcess [VANTORPROCESSTYPE_LAUNCHER] successful\n"),
              Logged().substr(before));
    std::vector<uint32_t> ids;
    // Listed a little after its start where the CPU is emulated.
    ASSERT_TRUE(WaitUntil([&] { return (ids = ProcessIdsNamed(game.Name())).size() == 1; }));
    ASSERT_TRUE(game.WaitForReport(ids[0], &report));
    EXPECT_EQ(Words{game.Path()}, report.argv);
    EXPECT_EQ(0, Running(VANTORPROCESSTYPE_LAUNCHER));
}

// File not found is 2 on both platforms (ERROR_FILE_NOT_FOUND, ENOENT), in the
// log and as the host's last error; a command line one character too long is
// refused, not cut.
TEST_F(ProcessStart, FailuresLogTheSystemsReason) {
    ChildProgram game;
    const std::string missing = game.Directory() + "/missing" + kExeSuffix;
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", missing.c_str()));
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, "x"));
    EXPECT_EQ(2u, Tamber::LastSystemError());
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_GAME));
    std::string expected = kThreadLines + OnDisk("INFO: [VantorAgent_DebugLoop] " + SystemText(2) +
                                                 "ERROR: Failed to start process.\nERROR: Process Start: 2\n");
    EXPECT_EQ(expected, Logged());
    ASSERT_EQ(1, SetGamePath(game.Path().c_str()));
    const std::string arguments(Tamber::kMaxCommandLineLength - game.Path().size(), 'x');
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, arguments.c_str()));
    EXPECT_EQ(std::vector<uint32_t>{}, ProcessIdsNamed(game.Name()));
    const uint32_t code = Tamber::CommandLineTooLongError();
    expected +=
        kThreadLines +
        OnDisk(
            "ERROR: Command line of 32768 characters is longer than 32767; not started.\n"
            "INFO: [VantorAgent_DebugLoop] " +
            SystemText(code) + "ERROR: Failed to start process.\nERROR: Process Start: " + std::to_string(code) + "\n");
    EXPECT_EQ(expected, Logged());
}

// Quotes and backslashes, and a long command line, as a child on this platform
// receives them from an executable whose path holds a space (plain quoted
// words are the splitting test's, the Air client's line the launcher's);
// without a working directory the child inherits ours.
TEST_F(ProcessStart, ChildrenReceiveTheirCommandLinesWhole) {
    ChildProgram program("", "with space");
    const std::string longArgument(32000 - program.Path().size(), 'y');
    const std::pair<std::string, Words> cases[] = {
        {"a\\\\\\\"b \"c d\\\\\" e\\f \"g \"\" h\"", {"a\\\"b", "c d\\", "e\\f", "g \" h"}},
        {longArgument, {longArgument}},
    };
    TempDir elsewhere;
    WorkingDirectory cwd(elsewhere.Path());
    for (const auto& c : cases) {
        Tamber::ProcessIdentity child;
        ASSERT_TRUE(LaunchProcess(program.Path().c_str(), c.first.c_str(), nullptr, &child)) << c.first;
        ChildReport report;
        ASSERT_TRUE(program.WaitForReport(child.id, &report)) << c.first;
        Words expected = c.second;
        expected.insert(expected.begin(), program.Path());
        EXPECT_EQ(expected, report.argv) << c.first;
        EXPECT_TRUE(SameDirectory(elsewhere.Path().string(), report.workingDirectory)) << report.workingDirectory;
    }
}

}  // namespace
