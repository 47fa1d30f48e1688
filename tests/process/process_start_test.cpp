// Starting programs: what the child receives, where it runs, the log lines,
// refusals and failures.
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/syserror.h"
#include "process/command_line.h"
#include "process_fixture.h"

namespace {

using TamberTest::ChildProgram;
using TamberTest::ChildReport;
using TamberTest::OnDisk;
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

using ProcessStart = ProcessHelperTest;

TEST_F(ProcessStart, StartsTheGameInItsOwnDirectoryWithItsArguments) {
    ChildProgram game;
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, "-a 1"));
    const uint32_t id = RecordedId(VANTORPROCESSTYPE_GAME);
    ASSERT_NE(0u, id);
    ChildReport report;
    ASSERT_TRUE(game.WaitForReport(id, &report));
    EXPECT_EQ((Words{game.Path(), "-a", "1"}), report.argv);
    EXPECT_TRUE(SameDirectory(game.Directory(), report.workingDirectory)) << report.workingDirectory;
    EXPECT_EQ(1, Running(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ(OnDisk("INFO: New thread go!\n"
                     "INFO: Starting Process Thread Spinning\n"
                     "INFO: StartProcess [VANTORPROCESSTYPE_GAME] successful\n"),
              Logged());
}

TEST_F(ProcessStart, ARunningGameIsNotStartedTwice) {
    ChildProgram game;
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
    const uint32_t first = RecordedId(VANTORPROCESSTYPE_GAME);
    const std::string before = Logged();

    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
    EXPECT_EQ(first, RecordedId(VANTORPROCESSTYPE_GAME));
    EXPECT_EQ((std::vector<uint32_t>{first}), TamberTest::ProcessIdsNamed(game.Name()));
    const std::string added = Logged().substr(before.size());
    const std::string expected = OnDisk(
        "INFO: New thread go!\n"
        "INFO: Starting Process Thread Spinning\n"
        "ERROR: Process is already running.\n"
        "ERROR: Process Start: ");
    EXPECT_EQ(expected, added.substr(0, expected.size()));
}

TEST_F(ProcessStart, AnEndedGameCanBeStartedAgain) {
    ChildProgram game;
    game.SetLifetime(0);
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
    const uint32_t first = RecordedId(VANTORPROCESSTYPE_GAME);
    ASSERT_TRUE(TamberTest::WaitUntil([] { return Running(VANTORPROCESSTYPE_GAME) == 0; }));
    // The id stays recorded after its process has gone.
    EXPECT_EQ(first, RecordedId(VANTORPROCESSTYPE_GAME));
    EXPECT_TRUE(game.Finished(first));
    game.SetLifetime(60);
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
    EXPECT_NE(first, RecordedId(VANTORPROCESSTYPE_GAME));
}

TEST_F(ProcessStart, TheLauncherStartsButIsNeverRecorded) {
    ChildProgram launcher;
    ASSERT_EQ(1, VantorProcessHelper_Init(launcher.Path().c_str(), "air", "game"));
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_LAUNCHER, ""));
    EXPECT_EQ(OnDisk("INFO: New thread go!\n"
                     "INFO: Starting Process Thread Spinning\n"
                     "ERROR: Unknown process type.\n"
                     "ERROR: Unknown process type.\n"
                     "ERROR: Unknown process type.\n"
                     "INFO: StartProcess [VANTORPROCESSTYPE_LAUNCHER] successful\n"),
              Logged());
    const std::vector<uint32_t> ids = TamberTest::ProcessIdsNamed(launcher.Name());
    ASSERT_EQ(1u, ids.size());
    ChildReport report;
    ASSERT_TRUE(launcher.WaitForReport(ids[0], &report));
    EXPECT_EQ((Words{launcher.Path()}), report.argv);

    const std::string before = Logged();
    EXPECT_EQ(0, Running(VANTORPROCESSTYPE_LAUNCHER));
    EXPECT_EQ(OnDisk("ERROR: Unknown process type.\nERROR: Unknown process type.\n"), Logged().substr(before.size()));
}

TEST_F(ProcessStart, AMissingExecutableFailsWithTheSystemsReason) {
    TamberTest::TempDir folder;
    const std::string missing = folder.File("missing" + std::string(TamberTest::kExeSuffix));
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", missing.c_str()));
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, "x"));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_GAME));
    // File not found is 2 on both platforms (ERROR_FILE_NOT_FOUND, ENOENT).
    EXPECT_EQ(OnDisk("INFO: New thread go!\n"
                     "INFO: Starting Process Thread Spinning\n"
                     "INFO: [VantorAgent_DebugLoop] " +
                     SystemText(2) +
                     "ERROR: Failed to start process.\n"
                     "ERROR: Process Start: 2\n"),
              Logged());
}

TEST_F(ProcessStart, AnUnknownTypeHasNoExecutable) {
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", "game"));
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(7, "x"));
    const std::string expected = OnDisk(
        "INFO: New thread go!\n"
        "INFO: Starting Process Thread Spinning\n"
        "ERROR: Unknown process type.\n"
        "ERROR: Unknown process type.\n"
        "ERROR: Unknown process type.\n"
        "INFO: [VantorAgent_DebugLoop] ");
    const std::string logged = Logged();
    EXPECT_EQ(expected, logged.substr(0, expected.size()));
    EXPECT_EQ(1u, TamberTest::CountOf(logged, "ERROR: Failed to start process."));
}

TEST_F(ProcessStart, AnOverlongCommandLineIsRefusedNotCut) {
    ChildProgram game;
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    const std::string arguments(Tamber::kMaxCommandLineLength - game.Path().size(), 'x');
    ASSERT_EQ(Tamber::kMaxCommandLineLength + 1, BuildCommandLine(game.Path().c_str(), arguments.c_str()).size());
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, arguments.c_str()));
    EXPECT_TRUE(TamberTest::ProcessIdsNamed(game.Name()).empty());
    const std::string code = std::to_string(Tamber::CommandLineTooLongError());
    EXPECT_EQ(OnDisk("INFO: New thread go!\n"
                     "INFO: Starting Process Thread Spinning\n"
                     "ERROR: Command line of 32768 characters is longer than 32767; not started.\n"
                     "INFO: [VantorAgent_DebugLoop] " +
                     SystemText(Tamber::CommandLineTooLongError()) +
                     "ERROR: Failed to start process.\n"
                     "ERROR: Process Start: " +
                     code + "\n"),
              Logged());
}

TEST_F(ProcessStart, ALongCommandLineArrivesWhole) {
    ChildProgram game;
    const std::string arguments(32000 - game.Path().size(), 'y');
    uint32_t id = 0;
    ASSERT_TRUE(LaunchProcess(game.Path().c_str(), arguments.c_str(), nullptr, &id));
    ChildReport report;
    ASSERT_TRUE(game.WaitForReport(id, &report));
    EXPECT_EQ((Words{game.Path(), arguments}), report.argv);
}

// The game's and the Air client's command lines, as a child on this platform
// receives them from an executable whose path holds a space.
TEST_F(ProcessStart, ChildrenReceiveTheGameAndAirCommandLines) {
    ChildProgram program("", "with space");
    struct Case {
        std::string arguments;
        Words received;
    };
    const Case cases[] = {
        {"\"5001\" \"C:\\Program Files\\L\\launcher.exe\" \"C:\\Air\\KavCLient.exe\" \"-mode fast\"",
         {"5001", "C:\\Program Files\\L\\launcher.exe", "C:\\Air\\KavCLient.exe", "-mode fast"}},
        {"-runtime .\\ -nodebug META-INF\\AIR\\application.xml .\\ -- 5000 x",
         {"-runtime", ".\\", "-nodebug", "META-INF\\AIR\\application.xml", ".\\", "--", "5000", "x"}},
        {"a\\\\\\\"b \"c d\\\\\" e\\f \"g \"\" h\"", {"a\\\"b", "c d\\", "e\\f", "g \" h"}},
    };
    for (const Case& c : cases) {
        uint32_t id = 0;
        ASSERT_TRUE(LaunchProcess(program.Path().c_str(), c.arguments.c_str(), nullptr, &id)) << c.arguments;
        ChildReport report;
        ASSERT_TRUE(program.WaitForReport(id, &report)) << c.arguments;
        Words expected{program.Path()};
        expected.insert(expected.end(), c.received.begin(), c.received.end());
        EXPECT_EQ(expected, report.argv) << c.arguments;
    }
}

TEST_F(ProcessStart, WithoutAWorkingDirectoryTheChildInheritsOurs) {
    ChildProgram program;
    TamberTest::TempDir elsewhere;
    TamberTest::WorkingDirectory cwd(elsewhere.Path());
    uint32_t id = 0;
    ASSERT_TRUE(LaunchProcess(program.Path().c_str(), "", nullptr, &id));
    ChildReport report;
    ASSERT_TRUE(program.WaitForReport(id, &report));
    EXPECT_TRUE(SameDirectory(elsewhere.Path().string(), report.workingDirectory)) << report.workingDirectory;
    EXPECT_EQ((Words{program.Path()}), report.argv);
}

TEST_F(ProcessStart, ABareExecutableNameStartsFromTheCurrentDirectory) {
    ChildProgram game;
    TamberTest::WorkingDirectory cwd(game.Directory());
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Name().c_str()));
    ASSERT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, "z"));
    ChildReport report;
    ASSERT_TRUE(game.WaitForReport(RecordedId(VANTORPROCESSTYPE_GAME), &report));
    EXPECT_EQ((Words{game.Name(), "z"}), report.argv);
    EXPECT_TRUE(SameDirectory(game.Directory(), report.workingDirectory)) << report.workingDirectory;
}

// The one test that pays the real pauses: 5 s before and 5 s after the creation.
TEST(ProcessStartPauses, AStartTakesTenSeconds) {
    TamberTest::LogSession log;
    ChildProgram game;
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", game.Path().c_str()));
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(1, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, ""));
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(elapsed, std::chrono::milliseconds(10000));
    VantorProcessHelper_Remove();
}

}  // namespace
