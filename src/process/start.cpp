// Starting the three programs: the command line, the working directory, the
// pauses around each attempt and the log lines that tell how it went.
#include <string>

#include "TamberLauncher.h"
#include "frame/log.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/syserror.h"
#include "process/command_line.h"
#include "process/process_helper.h"
#include "process/process_table.h"
#include "process/window_handle.h"

namespace {

constexpr uint32_t kStartPauseMs = 5000;

// The directory that holds the executable, made absolute; empty when it cannot be had.
void WorkingDirectoryFor(const char* executablePath, char* output) {
    char parent[256] = {};
    Tamber::GetParentDirectory(executablePath, parent);
    if (!Tamber::GetFullPath(parent, output)) output[0] = '\0';
}

void LogStarted(int32_t processType) {
    char name[64] = {};
    Vantor_ProcessTypeToString(processType, name, sizeof name);
    VantorLog_Formatted(kLogInfo, 320, "StartProcess [%s] successful\n", name);
}

int32_t RunProcessStartOn(VantorProcessTable& table, int32_t processType, const char* arguments, uint32_t* error) {
    if (IsRecordedProcessRunning(table, processType)) {
        VantorLog_Message(kLogError, "Process is already running.\n");
        return 0;
    }
    std::string executable;
    CopyPathOf(table, processType, executable);
    const char* path = executable.c_str();
    char workingDirectory[Tamber::kMaxPath] = {};
    WorkingDirectoryFor(path, workingDirectory);
    // The owner is being torn down: nothing is started any more.
    if (Tamber::IsInterrupted()) return 0;
    const int32_t windowHandle = processType == VANTORPROCESSTYPE_AIR ? RegisteredWindowHandle() : 0;

    Tamber::ProcessIdentity child;
    const bool started =
        LaunchProcess(path, arguments, workingDirectory[0] != '\0' ? workingDirectory : nullptr, &child, error);
    if (started) {
        WriteProcessIdentity(table, processType, child);
        if (processType == VANTORPROCESSTYPE_AIR)
            VantorLog_Formatted(kLogInfo, 320, "Using registered HWND: %d to launch the air client.\n", windowHandle);
    } else {
        VantorLog_SystemError("VantorAgent_DebugLoop", *error);
        if (processType == VANTORPROCESSTYPE_AIR) VantorLog_Message(kLogError, workingDirectory);
        VantorLog_Message(kLogError, "Failed to start process.\n");
    }
    if (!Tamber::PauseUnlessInterrupted(kStartPauseMs)) return started ? 1 : 0;
    if (!started) return 0;
    LogStarted(processType);
    return 1;
}

}  // namespace

bool LaunchProcess(const char* executablePath, const char* arguments, const char* workingDirectory,
                   Tamber::ProcessIdentity* child, uint32_t* error) {
    uint32_t ignored = 0;
    if (error == nullptr) error = &ignored;
    const std::string commandLine = BuildCommandLine(executablePath, arguments);
    if (commandLine.size() > Tamber::kMaxCommandLineLength) {
        VantorLog_Formatted(kLogError, 320, "Command line of %u characters is longer than %u; not started.\n",
                            static_cast<unsigned>(commandLine.size()),
                            static_cast<unsigned>(Tamber::kMaxCommandLineLength));
        *error = Tamber::CommandLineTooLongError();
        return false;
    }
    Tamber::ProcessIdentity created;
    if (!Tamber::CreateChildProcess(executablePath != nullptr ? executablePath : "", commandLine.c_str(),
                                    workingDirectory, &created)) {
        *error = Tamber::LastSystemError();
        return false;
    }
    if (child != nullptr) *child = created;
    return true;
}

int32_t RunProcessStart(int32_t processType, const char* arguments, uint32_t* error) {
    VantorLog_Message(kLogInfo, "Starting Process Thread Spinning\n");
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    if (!table) return 0;
    return RunProcessStartOn(*table, processType, arguments != nullptr ? arguments : "", error);
}

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_StartProcess(int32_t processType, const char* arguments) {
    const std::string copy = arguments != nullptr ? arguments : "";
    VantorLog_Message(kLogInfo, "New thread go!\n");
    uint32_t creationError = 0;
    const int32_t result = RunProcessStart(processType, copy.c_str(), &creationError);
    if (Tamber::IsInterrupted()) return result;
    if (result == 0) {
        // A refused start has no error of its own: its line shows the thread's last one.
        const uint32_t code = creationError != 0 ? creationError : Tamber::LastSystemError();
        VantorLog_Formatted(kLogError, 512, "Process Start: %d\n", static_cast<int>(code));
    }
    Tamber::PauseUnlessInterrupted(kStartPauseMs);
    // A host that reads its last error after a failed creation finds why it failed.
    if (creationError != 0) Tamber::SetLastSystemError(creationError);
    return result;
}

}  // extern "C"
