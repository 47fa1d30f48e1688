// What the benchmark asks of the operating system (Linux): the monotonic
// clock, pinning, the process's own counters in /proc, temp folders, and peer
// processes that run this same program in another role.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Bench {

// CLOCK_MONOTONIC in nanoseconds: one base for every process on the machine.
uint64_t NowNanoseconds();
void SleepFor(uint32_t milliseconds);

int CpuCount();
// Pins the calling thread (and every thread it starts later) to one CPU.
bool PinToCpu(int cpu);
// Lowers the nice value of the calling thread (and of every thread and process
// it starts later) to -10, so that other work on the machine disturbs the
// figures less. False when not allowed.
bool RaisePriority();
// Raises the open-file limit to its hard limit: a thousand connections need
// several thousand descriptors in each process.
void RaiseFileLimit();

// User plus system time of the whole process, in seconds (getrusage).
double ProcessCpuSeconds();
// Voluntary context switches summed over the process's threads
// (/proc/self/task/*/status), leaving out the calling thread.
uint64_t VoluntarySwitchesOfOtherThreads();
// From /proc/self/status.
uint64_t ResidentKilobytes();
uint32_t ThreadCount();

// "CPU model, N cores, Linux release, compiler".
std::string MachineLine();

// A fresh folder under the system temp folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    bool Valid() const { return !path_.empty(); }

private:
    std::string path_;
};

// This program started again as "--peer role args...", its standard input and
// output piped to us. The peer ends when its input closes; the destructor
// closes it, waits up to 10 s and then kills the peer by its process id.
class Peer {
public:
    // Null when the program could not be started.
    static std::unique_ptr<Peer> Start(const std::vector<std::string>& roleAndArguments);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // The next line the peer wrote, without its "\n"; false after timeoutMs or at its end.
    bool ReadLine(std::string& line, uint32_t timeoutMs);
    // Reads the "port N" line that every role writes once it listens; 0 on failure.
    uint16_t ReadPort(uint32_t timeoutMs);
    bool WriteLine(const std::string& line);
    // Closes the peer's input and reaps it (bounded, as in the destructor).
    void Finish();

private:
    Peer() = default;
    pid_t pid_ = -1;
    int toPeer_ = -1;
    int fromPeer_ = -1;
    std::string pending_;
};

}  // namespace Bench
