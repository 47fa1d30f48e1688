// The scans by name and the liveness checks reap only the processes the
// library started: a child the host started itself keeps its exit status for
// the host's own waitpid.
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process_fixture.h"

namespace {

constexpr int kHostChildExitCode = 42;

TEST_F(ProcessHelperTest, HostChildKeepsItsExitStatusThroughTheScans) {
    const TamberTest::ChildProgram other;  // a name the scans look for; never started
    const char* path = other.Path().c_str();
    // A bare clone that ends at once: no run-time library runs in it.
    const long pid = syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0)
        for (;;) syscall(SYS_exit_group, kHostChildExitCode);
    siginfo_t ended{};
    ASSERT_EQ(0, waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOWAIT));  // ended, not reaped
    VantorProcessHelper_KillProcessByName(path);
    // With no Air recorded, the liveness check that ProcessEvents runs scans by name.
    VantorProcessHelper_Init(path, path, path);
    VantorProcessHelper_IsProcessRunning(VANTORPROCESSTYPE_AIR, nullptr);
    int status = 0;
    ASSERT_EQ(pid, waitpid(static_cast<pid_t>(pid), &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kHostChildExitCode);
}

}  // namespace
