#include "platform/process.h"

#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <vector>

#include "platform/strings.h"

namespace Tamber {
namespace {

HANDLE AsHandle(intptr_t native) { return reinterpret_cast<HANDLE>(native); }

// The creation time of the process that handle holds; the handle keeps the
// process, and so its id, from going while it is open.
bool CreationTime(HANDLE process, ProcessStartTime* startTime) {
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(process, &creation, &exit, &kernel, &user)) return false;
    *startTime = (static_cast<ProcessStartTime>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
    return true;
}

// Whether a process that may not be opened fully (another user's, a
// protected one) is the one of identity: read with the least access.
ProcessLookup LookUpWithoutRights(const ProcessIdentity& identity) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, identity.id);
    if (process == nullptr) return ProcessLookup::kUnknown;
    ProcessStartTime startTime = 0;
    const bool read = CreationTime(process, &startTime);
    CloseHandle(process);
    return read && startTime != identity.startTime ? ProcessLookup::kGone : ProcessLookup::kUnknown;
}

// EnumProcesses fills what fits; a full buffer may mean more ids, so grow until
// it is not full.
std::vector<DWORD> RunningProcessIds() {
    std::vector<DWORD> ids(1024);
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
        DWORD filled = 0;
        if (!EnumProcesses(ids.data(), capacity, &filled)) return {};
        if (filled < capacity) {
            ids.resize(filled / sizeof(DWORD));
            return ids;
        }
        ids.resize(ids.size() * 2);
    }
}

}  // namespace

bool CreateChildProcess(const char* executable, const char* commandLine, const char* workingDirectory,
                        ProcessIdentity* child) {
    if (executable == nullptr || commandLine == nullptr || child == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::size_t length = std::strlen(commandLine);
    if (length > kMaxCommandLineLength) {
        SetLastError(CommandLineTooLongError());
        return false;
    }
    // CreateProcessA may write to the command line, so it gets its own copy.
    std::vector<char> writable(kMaxCommandLineLength + 1, '\0');
    std::memcpy(writable.data(), commandLine, length);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION created;
    std::memset(&created, 0, sizeof created);
    if (!CreateProcessA(executable, writable.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        workingDirectory, &startup, &created))
        return false;
    CloseHandle(created.hThread);
    ProcessStartTime startTime = 0;
    if (!CreationTime(created.hProcess, &startTime)) {
        const DWORD error = GetLastError();
        TerminateProcess(created.hProcess, 0);
        CloseHandle(created.hProcess);
        SetLastError(error);
        return false;
    }
    CloseHandle(created.hProcess);
    child->id = created.dwProcessId;
    child->startTime = startTime;
    return true;
}

uint32_t CommandLineTooLongError() { return ERROR_FILENAME_EXCED_RANGE; }

ProcessId CurrentProcessId() { return GetCurrentProcessId(); }

void ProcessHandle::Close() {
    if (native_ != kNone) CloseHandle(AsHandle(native_));
    native_ = kNone;
}

ProcessHandle ProcessHandle::Open(ProcessId id) {
    if (id == 0) return ProcessHandle();
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
    if (process == nullptr) return ProcessHandle();
    return ProcessHandle(reinterpret_cast<intptr_t>(process), id);
}

ProcessHandle ProcessHandle::Open(const ProcessIdentity& identity, ProcessLookup* lookup) {
    *lookup = ProcessLookup::kGone;
    if (identity.id == 0) return ProcessHandle();
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, identity.id);
    if (process == nullptr) {
        const DWORD error = GetLastError();
        // An id that no process has is refused as an invalid parameter.
        if (error == ERROR_ACCESS_DENIED)
            *lookup = LookUpWithoutRights(identity);
        else if (error != ERROR_INVALID_PARAMETER)
            *lookup = ProcessLookup::kUnknown;
        return ProcessHandle();
    }
    ProcessHandle handle(reinterpret_cast<intptr_t>(process), identity.id);
    ProcessStartTime startTime = 0;
    if (!CreationTime(process, &startTime)) {
        *lookup = ProcessLookup::kUnknown;
        return ProcessHandle();
    }
    if (startTime != identity.startTime) return ProcessHandle();
    *lookup = ProcessLookup::kOpened;
    return handle;
}

bool ProcessHandle::ReadStartTime(ProcessStartTime* startTime) const {
    ProcessStartTime read = 0;
    if (native_ == kNone || !IsRunning() || !CreationTime(AsHandle(native_), &read)) return false;
    *startTime = read;
    return true;
}

bool ProcessHandle::IsRunning() const {
    return native_ != kNone && WaitForSingleObject(AsHandle(native_), 0) != WAIT_OBJECT_0;
}

WaitOutcome ProcessHandle::Wait(uint32_t ms) const {
    if (native_ == kNone) return WaitOutcome::kFailed;
    switch (WaitForSingleObject(AsHandle(native_), ms)) {
        case WAIT_OBJECT_0:
            return WaitOutcome::kDone;
        case WAIT_TIMEOUT:
            return WaitOutcome::kTimedOut;
        default:
            return WaitOutcome::kFailed;
    }
}

bool ProcessHandle::Terminate() const { return native_ != kNone && TerminateProcess(AsHandle(native_), 0) != 0; }

void ForEachProcess(const ProcessVisitor& visit) {
    for (const DWORD id : RunningProcessIds()) {
        const ProcessHandle process = ProcessHandle::Open(id);
        if (!process.IsOpen()) continue;
        HANDLE native = AsHandle(process.Value());
        HMODULE module = nullptr;
        DWORD needed = 0;
        if (!EnumProcessModules(native, &module, sizeof module, &needed)) continue;
        char name[kProcessNameSize] = {};
        GetModuleBaseNameA(native, module, name, sizeof name);
        if (!visit(process, name)) return;
    }
}

}  // namespace Tamber
