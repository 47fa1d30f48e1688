#include "platform/process.h"

#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <vector>

#include "platform/strings.h"

namespace Tamber {
namespace {

HANDLE AsHandle(intptr_t native) { return reinterpret_cast<HANDLE>(native); }

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
                        ProcessId* id) {
    if (executable == nullptr || commandLine == nullptr || id == nullptr) {
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
    *id = created.dwProcessId;
    CloseHandle(created.hProcess);
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

bool ProcessHandle::Terminate() const {
    return native_ != kNone && TerminateProcess(AsHandle(native_), 0) != 0;
}

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
