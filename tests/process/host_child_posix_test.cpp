// The scans by name and the liveness checks reap only the processes the
// library started: a child the host started itself keeps its exit status for
// the host's own waitpid.
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <utility>

#include "process_fixture.h"

namespace {

constexpr int kHostChildExitCode = 42;

TEST_F(ProcessHelperTest, HostChildKeepsItsExitStatusThroughTheScans) {
    const TamberTest::ChildProgram other;  // a name the scans look for; never started
    const char* path = other.Path().c_str();
    const std::pair<const char*, std::function<void()>> scans[] = {
        {"kill by name", [&] { VantorProcessHelper_KillProcessByName(path); }},
        {"Air liveness", [&] {
             int32_t running = 0;
             VantorProcessHelper_Init(path, path, path);
             VantorProcessHelper_IsProcessRunning(VANTORPROCESSTYPE_AIR, &running);
         }},
    };
    for (const auto& scan : scans) {
        // A bare clone that ends at once: no run-time library runs in it.
        const long pid = syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0)
            for (;;) syscall(SYS_exit_group, kHostChildExitCode);
        siginfo_t ended{};
        ASSERT_EQ(0, waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOWAIT));  // ended, not reaped
        scan.second();
        int status = 0;
        EXPECT_EQ(pid, waitpid(static_cast<pid_t>(pid), &status, 0)) << scan.first;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kHostChildExitCode) << scan.first;
    }
}

}  // namespace
