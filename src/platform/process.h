// Processes: create, open by id or by identity, wait, terminate, and list the
// running ones with the file name of their main executable. Nothing here keeps
// one open beyond a ProcessHandle's life.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/wait.h"

namespace Tamber {

using ProcessId = uint32_t;

// When a process started, as the system keeps it. The system gives an ended
// process's id to a later one, so only id and start time together name one.
//   Windows: the creation time from GetProcessTimes, in 100 ns units.
//   Linux: field 22 of /proc/<pid>/stat, in clock ticks since boot.
using ProcessStartTime = uint64_t;
// A start time that no process has: what is recorded for an id whose process
// could not be told, so that no later holder of the id is taken for it.
constexpr ProcessStartTime kUnknownStartTime = UINT64_MAX;

struct ProcessIdentity {
    ProcessId id = 0;
    ProcessStartTime startTime = kUnknownStartTime;
};

// What opening a process by its identity found.
enum class ProcessLookup {
    kOpened,   // the process of that identity, ended or not
    kGone,     // no process has the id, or the one that has it started at another time
    kUnknown,  // it could not be told: no descriptors or handles left, access denied
};

// The longest command line a process can be given (Windows' limit).
constexpr std::size_t kMaxCommandLineLength = 32767;
// The size of a process's executable file name as the scans report it.
constexpr std::size_t kProcessNameSize = 320;

// Starts executable with commandLine, in workingDirectory (null: the caller's),
// with the caller's environment, detached from the caller's console or terminal,
// inheriting no handle or descriptor. A relative executable path is taken
// relative to the caller's current directory. On success *child receives the
// new process's id and start time and nothing of it stays open; a child whose
// start time cannot be read is ended again and the call fails, so that no
// process runs that could not be told from a later holder of its id. On failure
// the calling thread's last system error tells why; a command line over
// kMaxCommandLineLength characters fails with CommandLineTooLongError().
//   Windows: CreateProcessA with DETACHED_PROCESS and a shown window; the
//   command line is what the child reads.
//   Linux: posix_spawn of executable in a new session, with the signal mask
//   and dispositions reset; the child's argv is the command line split by the
//   Windows rules (SplitCommandLine), argv[0] being its first word.
bool CreateChildProcess(const char* executable, const char* commandLine, const char* workingDirectory,
                        ProcessIdentity* child);

// The platform's error code for a command line that is too long
// (ERROR_FILENAME_EXCED_RANGE on Windows, E2BIG on Linux).
uint32_t CommandLineTooLongError();

ProcessId CurrentProcessId();

// An open process, closed when the object goes. Move-only.
//   Windows: a HANDLE with PROCESS_ALL_ACCESS.
//   Linux: a pidfd (close-on-exec). Only processes of the calling user can be
//   opened, as OpenProcess passes over other users' processes.
class ProcessHandle {
public:
    ProcessHandle() = default;
    ~ProcessHandle();
    ProcessHandle(ProcessHandle&& other) noexcept;
    ProcessHandle& operator=(ProcessHandle&& other) noexcept;
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    // An empty handle when id is 0 or the process cannot be opened (gone, another
    // user's). Linux: a child that CreateChildProcess started and that has ended
    // is reaped here first, so it is gone as it is on Windows, where no handle
    // keeps it; the caller's other children are never reaped here.
    static ProcessHandle Open(ProcessId id);
    // The process of that identity (as Open), else an empty handle and *lookup
    // tells whether it has gone or could not be told. The check and every use of
    // the handle refer to the same process, even if the id is reused meanwhile.
    // Other users' processes are not opened: kUnknown unless their start time
    // shows that they are another process.
    static ProcessHandle Open(const ProcessIdentity& identity, ProcessLookup* lookup);

    bool IsOpen() const { return native_ != kNone; }
    ProcessId Id() const { return id_; }
    // The handle's numeric value, for log lines (the HANDLE, or the pidfd).
    intptr_t Value() const { return native_; }
    // The process's start time; false (*startTime untouched) when it cannot be
    // read or the process has ended.
    bool ReadStartTime(ProcessStartTime* startTime) const;
    // True unless the process has ended (a failed check counts as running).
    bool IsRunning() const;
    // Waits up to ms milliseconds (0xFFFFFFFF: no limit) for the process to end.
    WaitOutcome Wait(uint32_t ms) const;
    // Ends the process at once: TerminateProcess with exit code 0 on Windows,
    // SIGKILL on Linux. Does not wait for it to be gone. True on success.
    bool Terminate() const;

private:
    static constexpr intptr_t kNone = -1;
    ProcessHandle(intptr_t native, ProcessId id) : native_(native), id_(id) {}
    void Close();

    intptr_t native_ = kNone;
    ProcessId id_ = 0;
};

// Receives each process of a scan, open for the visit, and the file name with
// extension of its main executable. Returns false to end the scan.
using ProcessVisitor = std::function<bool(const ProcessHandle& process, const char* executableName)>;

// Visits every running process that can be opened and whose main executable can
// be named, the caller included, in the system's order, with no limit on their
// number.
//   Windows: EnumProcesses, EnumProcessModules (first module), GetModuleBaseNameA.
//   Linux: /proc in pid order, the base name of /proc/<pid>/exe, processes of
//   the calling user only.
void ForEachProcess(const ProcessVisitor& visit);

}  // namespace Tamber
