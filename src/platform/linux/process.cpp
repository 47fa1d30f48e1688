#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/command_line.h"
#include "platform/paths.h"
#include "platform/strings.h"

extern char** environ;

namespace Tamber {
namespace {

// Owns the spawn attributes and file actions; released in reverse order.
class SpawnSettings {
public:
    explicit SpawnSettings(const char* workingDirectory) {
        posix_spawnattr_init(&attributes_);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        // The child must not inherit our blocked signals or ignored dispositions.
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        // Its own session: no controlling terminal, like DETACHED_PROCESS.
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawn_file_actions_init(&actions_);
        if (workingDirectory != nullptr) posix_spawn_file_actions_addchdir_np(&actions_, workingDirectory);
        // Our own descriptors are close-on-exec; this also covers the host's.
        posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
    const posix_spawnattr_t* Attributes() const { return &attributes_; }
    const posix_spawn_file_actions_t* Actions() const { return &actions_; }

private:
    posix_spawnattr_t attributes_;
    posix_spawn_file_actions_t actions_;
};

// The child changes directory before it runs the executable, so a relative
// executable path is resolved against ours first.
bool ResolveExecutable(const char* executable, const char* workingDirectory, std::string& resolved) {
    resolved = executable;
    if (workingDirectory == nullptr || executable[0] == '/' || executable[0] == '\0') return true;
    char current[kMaxPath];
    if (!GetCurrentDirectoryPath(current)) return false;
    resolved = std::string(current) + "/" + executable;
    return true;
}

// Through syscall(): glibc's own wrappers are missing or unusable from C++ in some versions.
int OpenPidFd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

bool SendSignal(int pidFd, int signalNumber) {
    return syscall(SYS_pidfd_send_signal, pidFd, signalNumber, nullptr, 0) == 0;
}

// The start time of whatever process has pid now: kOpened with *startTime, or
// why not. The command name in the stat line may hold spaces and parentheses,
// so the fields are counted from its last ')'.
ProcessLookup ReadStatStartTime(pid_t pid, ProcessStartTime* startTime) {
    char path[64];
    std_snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ESRCH ? ProcessLookup::kGone : ProcessLookup::kUnknown;
    char line[1024];
    const ssize_t length = read(fd, line, sizeof line - 1);
    const int readError = errno;
    close(fd);
    errno = readError;
    if (length <= 0) return length == 0 || readError == ESRCH ? ProcessLookup::kGone : ProcessLookup::kUnknown;
    line[length] = '\0';
    const char* field = std::strrchr(line, ')');
    // The state is field 3, the start time field 22.
    for (int number = 2; field != nullptr && number < 22; ++number) field = std::strchr(field + 1, ' ');
    char* end = nullptr;
    const unsigned long long value = field != nullptr ? std::strtoull(field + 1, &end, 10) : 0;
    if (field == nullptr || end == field + 1) {
        errno = EIO;
        return ProcessLookup::kUnknown;
    }
    *startTime = value;
    return ProcessLookup::kOpened;
}

bool OwnedByCaller(pid_t pid) {
    char path[64];
    std_snprintf(path, sizeof path, "/proc/%d", static_cast<int>(pid));
    struct stat info;
    return stat(path, &info) == 0 && info.st_uid == geteuid();
}

// Base name of the process's executable, without the " (deleted)" that Linux
// adds when the file was replaced while the process runs.
bool ReadExecutableName(pid_t pid, char* name, std::size_t nameSize) {
    char link[64];
    std_snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(pid));
    char target[PATH_MAX];
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0) return false;
    target[length] = '\0';
    static const char kDeleted[] = " (deleted)";
    const std::size_t deletedLength = sizeof kDeleted - 1;
    if (static_cast<std::size_t>(length) > deletedLength && std::strcmp(target + length - deletedLength, kDeleted) == 0)
        target[length - static_cast<ssize_t>(deletedLength)] = '\0';
    const char* slash = std::strrchr(target, '/');
    std_strncpy(name, slash != nullptr ? slash + 1 : target, nameSize);
    return true;
}

// The children this library started and has not yet reaped. Only these are
// reaped here: the host's other children keep their exit status for its own
// waitpid. Never destroyed, so that no exit-time destructor races a scan.
class StartedChildren {
public:
    static StartedChildren& Get() {
        static StartedChildren* const children = new StartedChildren();
        return *children;
    }
    void Add(pid_t pid) {
        std::lock_guard<std::mutex> guard(lock_);
        pids_.insert(pid);
    }
    // True when pid is a child of ours that has ended: it is reaped and forgotten.
    // A pid that is no longer our child (the host reaped it) is forgotten too.
    bool ReapIfEnded(pid_t pid) {
        std::lock_guard<std::mutex> guard(lock_);
        if (pids_.count(pid) == 0) return false;
        int status = 0;
        const pid_t result = waitpid(pid, &status, WNOHANG);
        if (result == 0) return false;
        pids_.erase(pid);
        return result == pid;
    }

private:
    StartedChildren() = default;
    std::mutex lock_;
    std::unordered_set<pid_t> pids_;
};

bool ParsePid(const char* text, pid_t* pid) {
    if (*text < '1' || *text > '9') return false;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0 || value > INT_MAX) return false;
    *pid = static_cast<pid_t>(value);
    return true;
}

}  // namespace

bool CreateChildProcess(const char* executable, const char* commandLine, const char* workingDirectory,
                        ProcessIdentity* child) {
    if (executable == nullptr || commandLine == nullptr || child == nullptr) {
        errno = EINVAL;
        return false;
    }
    if (std::strlen(commandLine) > kMaxCommandLineLength) {
        errno = E2BIG;
        return false;
    }
    std::string path;
    if (!ResolveExecutable(executable, workingDirectory, path)) return false;
    std::vector<std::string> words = SplitCommandLine(commandLine);
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    SpawnSettings settings(workingDirectory);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.c_str(), settings.Actions(), settings.Attributes(), argv.data(), environ);
    if (error != 0) {
        errno = error;
        return false;
    }
    // Not yet reaped, the child keeps its pid while its start time is read.
    ProcessStartTime startTime = 0;
    if (ReadStatStartTime(pid, &startTime) != ProcessLookup::kOpened) {
        const int readError = errno;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        errno = readError;
        return false;
    }
    StartedChildren::Get().Add(pid);
    child->id = static_cast<ProcessId>(pid);
    child->startTime = startTime;
    return true;
}

uint32_t CommandLineTooLongError() { return E2BIG; }

ProcessId CurrentProcessId() { return static_cast<ProcessId>(getpid()); }

void ProcessHandle::Close() {
    if (native_ != kNone) close(static_cast<int>(native_));
    native_ = kNone;
}

ProcessHandle ProcessHandle::Open(ProcessId id) {
    if (id == 0 || id > static_cast<ProcessId>(INT_MAX)) return ProcessHandle();
    const pid_t pid = static_cast<pid_t>(id);
    if (StartedChildren::Get().ReapIfEnded(pid)) return ProcessHandle();
    const int fd = OpenPidFd(pid);
    if (fd < 0) return ProcessHandle();
    ProcessHandle handle(fd, id);
    if (!OwnedByCaller(pid)) return ProcessHandle();
    return handle;
}

ProcessHandle ProcessHandle::Open(const ProcessIdentity& identity, ProcessLookup* lookup) {
    *lookup = ProcessLookup::kGone;
    if (identity.id == 0 || identity.id > static_cast<ProcessId>(INT_MAX)) return ProcessHandle();
    const pid_t pid = static_cast<pid_t>(identity.id);
    if (StartedChildren::Get().ReapIfEnded(pid)) return ProcessHandle();
    const int fd = OpenPidFd(pid);
    if (fd < 0) {
        if (errno != ESRCH) *lookup = ProcessLookup::kUnknown;
        return ProcessHandle();
    }
    ProcessHandle handle(fd, identity.id);
    // The process whose start time matches held pid before the pidfd was
    // opened and still held it after: the pidfd refers to it.
    ProcessStartTime startTime = 0;
    *lookup = ReadStatStartTime(pid, &startTime);
    if (*lookup != ProcessLookup::kOpened) return ProcessHandle();
    if (startTime != identity.startTime) {
        *lookup = ProcessLookup::kGone;
        return ProcessHandle();
    }
    if (!OwnedByCaller(pid)) {
        *lookup = ProcessLookup::kUnknown;
        return ProcessHandle();
    }
    return handle;
}

bool ProcessHandle::ReadStartTime(ProcessStartTime* startTime) const {
    ProcessStartTime read = 0;
    if (native_ == kNone || ReadStatStartTime(static_cast<pid_t>(id_), &read) != ProcessLookup::kOpened) return false;
    // Still running after the read: the stat line was this process's, not a
    // later holder's of its pid.
    if (!IsRunning()) return false;
    *startTime = read;
    return true;
}

bool ProcessHandle::IsRunning() const { return Wait(0) != WaitOutcome::kDone; }

WaitOutcome ProcessHandle::Wait(uint32_t ms) const {
    if (native_ == kNone) return WaitOutcome::kFailed;
    using Clock = std::chrono::steady_clock;
    const bool forever = ms == 0xFFFFFFFFu;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int timeout = -1;
        if (!forever) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            timeout = left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
        }
        // A pidfd turns readable when its process has ended (a zombie counts as ended).
        pollfd watch{static_cast<int>(native_), POLLIN, 0};
        const int ready = poll(&watch, 1, timeout);
        if (ready > 0) return WaitOutcome::kDone;
        if (ready < 0 && errno != EINTR) return WaitOutcome::kFailed;
        if (ready == 0 && Clock::now() >= deadline) return WaitOutcome::kTimedOut;
    }
}

bool ProcessHandle::Terminate() const { return native_ != kNone && SendSignal(static_cast<int>(native_), SIGKILL); }

void ForEachProcess(const ProcessVisitor& visit) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return;
    bool goOn = true;
    while (goOn) {
        const dirent* entry = readdir(proc);
        if (entry == nullptr) break;
        pid_t pid = 0;
        if (!ParsePid(entry->d_name, &pid)) continue;
        const ProcessHandle process = ProcessHandle::Open(static_cast<ProcessId>(pid));
        char name[kProcessNameSize];
        if (!process.IsOpen() || !ReadExecutableName(pid, name, sizeof name)) continue;
        goOn = visit(process, name);
    }
    closedir(proc);
}

}  // namespace Tamber
