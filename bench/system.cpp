#include "system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Bench {

namespace {

constexpr uint32_t kReapMilliseconds = 10000;
constexpr std::size_t kMaxLine = 4096;

// The number after "key:" in a /proc status file, 0 when it is missing.
uint64_t StatusField(const std::string& path, const std::string& key) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (line.compare(0, key.size(), key) == 0 && line.size() > key.size() && line[key.size()] == ':')
            return std::strtoull(line.c_str() + key.size() + 1, nullptr, 10);
    }
    return 0;
}

std::string CpuModel() {
    std::ifstream file("/proc/cpuinfo");
    std::string line;
    while (std::getline(file, line)) {
        if (line.compare(0, 10, "model name") != 0) continue;
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) return line.substr(colon + 2);
    }
    return "unknown CPU";
}

}  // namespace

uint64_t NowNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

void SleepFor(uint32_t milliseconds) {
    timespec rest{static_cast<time_t>(milliseconds / 1000u), static_cast<long>(milliseconds % 1000u) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

int CpuCount() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int>(count) : 1;
}

bool PinToCpu(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0;
}

bool RaisePriority() { return setpriority(PRIO_PROCESS, 0, -10) == 0; }

void RaiseFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

uint64_t VoluntarySwitchesOfOtherThreads() {
    const std::string self = std::to_string(syscall(SYS_gettid));
    uint64_t total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return 0;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.' || self == entry->d_name) continue;
        total += StatusField(std::string("/proc/self/task/") + entry->d_name + "/status", "voluntary_ctxt_switches");
    }
    closedir(tasks);
    return total;
}

uint64_t ResidentKilobytes() { return StatusField("/proc/self/status", "VmRSS"); }

uint32_t ThreadCount() { return static_cast<uint32_t>(StatusField("/proc/self/status", "Threads")); }

std::string MachineLine() {
    utsname names{};
    uname(&names);
    char line[512];
    std::snprintf(line, sizeof line, "%s, %d cores, Linux %s, %s %s", CpuModel().c_str(), CpuCount(), names.release,
#if defined(__clang__)
                  "clang", __clang_version__
#else
                  "g++", __VERSION__
#endif
    );
    return line;
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tamber-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::unique_ptr<Peer> Peer::Start(const std::vector<std::string>& roleAndArguments) {
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0) return nullptr;
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);

    std::vector<std::string> words{"tamber_bench", "--peer"};
    words.insert(words.end(), roleAndArguments.begin(), roleAndArguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int result = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    if (result != 0) {
        close(input[1]);
        close(output[0]);
        return nullptr;
    }
    std::unique_ptr<Peer> peer(new Peer());
    peer->pid_ = pid;
    peer->toPeer_ = input[1];
    peer->fromPeer_ = output[0];
    return peer;
}

Peer::~Peer() { Finish(); }

void Peer::Finish() {
    if (toPeer_ >= 0) close(toPeer_);
    toPeer_ = -1;
    if (pid_ > 0) {
        int status = 0;
        bool reaped = false;
        for (uint32_t waited = 0; waited < kReapMilliseconds && !reaped; waited += 10) {
            reaped = waitpid(pid_, &status, WNOHANG) == pid_;
            if (!reaped) SleepFor(10);
        }
        if (!reaped) {
            std::fprintf(stderr, "tamber_bench: peer %d did not end; killing it\n", static_cast<int>(pid_));
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (fromPeer_ >= 0) close(fromPeer_);
    fromPeer_ = -1;
}

bool Peer::ReadLine(std::string& line, uint32_t timeoutMs) {
    const uint64_t deadline = NowNanoseconds() + static_cast<uint64_t>(timeoutMs) * 1000000u;
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        const uint64_t now = NowNanoseconds();
        if (fromPeer_ < 0 || now >= deadline || pending_.size() > kMaxLine) return false;
        pollfd entry{fromPeer_, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>((deadline - now) / 1000000u) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char bytes[256];
        const ssize_t count = read(fromPeer_, bytes, sizeof bytes);
        if (count <= 0) return false;
        pending_.append(bytes, static_cast<std::size_t>(count));
    }
}

uint16_t Peer::ReadPort(uint32_t timeoutMs) {
    std::string line;
    if (!ReadLine(line, timeoutMs) || line.compare(0, 5, "port ") != 0) return 0;
    return static_cast<uint16_t>(std::strtoul(line.c_str() + 5, nullptr, 10));
}

bool Peer::WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    return toPeer_ >= 0 && write(toPeer_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

}  // namespace Bench
