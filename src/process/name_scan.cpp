// Finding processes by the file name of their executable: killing them,
// waiting for one to end, and adopting a running Air client.
#include <cstring>

#include "TamberLauncher.h"
#include "frame/log.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "process/process_helper.h"
#include "process/process_table.h"

namespace {

constexpr const char* kAirClientName = "KavCLient.exe";
constexpr uint32_t kWaitByNameMs = 20000;

// The file name with extension of path; false when there is none to match.
bool TargetName(const char* path, char* name) {
    if (path == nullptr) return false;
    return Tamber::SplitPath(path, nullptr, 0, nullptr, 0, name, Tamber::kProcessNameSize) && name[0] != '\0';
}

bool SameNameIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (x != y) return false;
        if (x == '\0') return true;
    }
}

// Visits every other process, never the caller.
void ForEachOtherProcess(const Tamber::ProcessVisitor& visit) {
    const Tamber::ProcessId self = Tamber::CurrentProcessId();
    Tamber::ForEachProcess([&](const Tamber::ProcessHandle& process, const char* name) {
        return process.Id() == self || visit(process, name);
    });
}

}  // namespace

void AdoptAirClient(VantorProcessTable& table) {
    bool found = false;
    ForEachOtherProcess([&](const Tamber::ProcessHandle& process, const char* name) {
        if (!SameNameIgnoringCase(name, kAirClientName)) return true;
        Tamber::ProcessIdentity client;
        client.id = process.Id();
        // One that cannot be told from a later holder of its id is not adopted.
        if (!process.ReadStartTime(&client.startTime)) return true;
        VantorLog_Formatted(kLogInfo, 1024, "I found what appears to be a new handle for %s.  New: %d\n",
                            kAirClientName, static_cast<int>(process.Value()));
        WriteProcessIdentity(table, VANTORPROCESSTYPE_AIR, client);
        found = true;
        return true;
    });
    if (!found)
        VantorLog_Formatted(kLogError, 1024, "Looking for air at %s to fill in new proc info, but did not find it.\n",
                            kAirClientName);
}

int32_t AdoptAirClientProcess() {
    const std::shared_ptr<VantorProcessTable> table = CurrentProcessTable();
    if (table) AdoptAirClient(*table);
    return 1;
}

int32_t WaitForProcessExitByName(const char* path) {
    char target[Tamber::kProcessNameSize];
    if (!TargetName(path, target)) return 0;
    bool ended = false;
    ForEachOtherProcess([&](const Tamber::ProcessHandle& process, const char* name) {
        if (std::strcmp(name, target) != 0) return true;
        const Tamber::WaitOutcome outcome = Tamber::WaitForProcessUnlessInterrupted(process, kWaitByNameMs);
        if (outcome == Tamber::WaitOutcome::kWoken) return false;
        ended = outcome != Tamber::WaitOutcome::kTimedOut;
        return !ended;
    });
    return ended ? 1 : 0;
}

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_KillProcessByName(const char* path) {
    char target[Tamber::kProcessNameSize];
    if (!TargetName(path, target)) return 1;
    ForEachOtherProcess([&](const Tamber::ProcessHandle& process, const char* name) {
        if (std::strcmp(name, target) == 0) process.Terminate();
        return true;
    });
    return 1;
}

}  // extern "C"
