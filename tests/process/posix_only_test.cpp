// The scans by name and the liveness checks reap only the processes the
// library started: a child the host started itself keeps its exit status for
// the host's own waitpid. Without descriptors, or without a working
// directory, the library fails only itself.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "process_fixture.h"

namespace {

TEST_F(ProcessHelperTest, HostChildKeepsItsExitStatusThroughTheScans) {
    const TamberTest::ChildProgram other;  // a name the scans look for; never started
    const char* path = other.Path().c_str();
    // A bare clone that ends at once: no run-time library runs in it.
    const long pid = syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0)
        for (;;) syscall(SYS_exit_group, 42);
    siginfo_t ended{};
    ASSERT_EQ(0, waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOWAIT));  // ended, not reaped
    VantorProcessHelper_KillProcessByName(path);
    // With no Air recorded, the liveness check that ProcessEvents runs scans by name.
    VantorProcessHelper_Init(path, path, path);
    VantorProcessHelper_IsProcessRunning(VANTORPROCESSTYPE_AIR, nullptr);
    int status = 0;
    ASSERT_EQ(pid, waitpid(static_cast<pid_t>(pid), &status, 0));
    EXPECT_EQ(std::make_tuple(true, 42), std::make_tuple(static_cast<bool>(WIFEXITED(status)), WEXITSTATUS(status)));
}

// With the limit lowered to the lowest free descriptor no new one can be had,
// which is the host's shortage, not the end of the game it watches.
TEST_F(ProcessHelperTest, WithNoDescriptorLeftTheRunningGameStillRuns) {
    TamberTest::ChildProgram program;
    TamberTest::RunningChild game(program);
    VantorProcessHelper_Init("launcher", "air", "game");
    ASSERT_EQ(1, SetProcessIdForProcessType(VANTORPROCESSTYPE_GAME, game.Id()));
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    const int lowest = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(lowest);
    rlimit lowered = saved;
    lowered.rlim_cur = static_cast<rlim_t>(lowest);
    setrlimit(RLIMIT_NOFILE, &lowered);
    const int refused = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int error = errno;
    int32_t running = -1;
    VantorProcessHelper_IsProcessRunning(VANTORPROCESSTYPE_GAME, &running);
    setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_EQ(std::make_tuple(-1, EMFILE), std::make_tuple(refused, error));
    EXPECT_EQ(1, running);
}

// A deleted working directory leaves the log no folder: it must not go to the
// root folder, where it would replace a file of its name.
TEST(LogWithoutItsFolder, WritesNothingAnywhere) {
    TamberTest::TempDir folder;
    const std::string host = "vt" + TamberTest::RandomHex(10);
    TamberTest::WorkingDirectory cwd(folder.Path());
    std::filesystem::remove(folder.Path());
    Vantor_Init(host.c_str());
    Vantor_Remove();
    const std::string inRoot = "/vantor-" + host + ".log";
    EXPECT_FALSE(std::filesystem::exists(inRoot));
    std::filesystem::remove(inRoot);
}

}  // namespace
