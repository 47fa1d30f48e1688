// Whether the recorded Air client and game still run, and stopping them. A
// recorded process is acted on only while its id names the process recorded.
#include "TamberLauncher.h"
#include "platform/interrupt.h"
#include "platform/process.h"
#include "process/process_helper.h"
#include "process/process_table.h"

bool IsRecordedProcessRunning(VantorProcessTable& table, int32_t processType) {
    Tamber::ProcessIdentity recorded;
    ReadProcessIdentity(table, processType, &recorded);
    if (recorded.id == 0 && processType == VANTORPROCESSTYPE_AIR) AdoptAirClient(table);
    ReadProcessIdentity(table, processType, &recorded);
    if (recorded.id == 0) return false;
    Tamber::ProcessLookup lookup = Tamber::ProcessLookup::kGone;
    const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(recorded, &lookup);
    // Out of descriptors or rights, the process is not known to have ended.
    if (!process.IsOpen()) return lookup == Tamber::ProcessLookup::kUnknown;
    return process.IsRunning();
}

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_IsProcessRunning(int32_t processType, int32_t* running) {
    if (running != nullptr) *running = 0;
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    if (!table) return 0;
    const bool alive = IsRecordedProcessRunning(*table, processType);
    if (running != nullptr) *running = alive ? 1 : 0;
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_StopProcess(int32_t processType, uint32_t timeoutMs) {
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    if (!table) return 0;
    Tamber::ProcessIdentity recorded;
    ReadProcessIdentity(*table, processType, &recorded);
    Tamber::ProcessLookup lookup = Tamber::ProcessLookup::kGone;
    {
        // A grace period for the process to end by itself; how it went is seen below.
        const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(recorded, &lookup);
        // Woken by the owner's teardown: the stop ends here, terminating nothing.
        const bool woken = process.IsOpen() &&
                           Tamber::WaitForProcessUnlessInterrupted(process, timeoutMs) == Tamber::WaitOutcome::kWoken;
        if (woken) return 1;
    }
    if (!IsRecordedProcessRunning(*table, processType)) return 1;
    // The check may have just adopted an Air client: end the process it found,
    // and only while it is the one recorded.
    ReadProcessIdentity(*table, processType, &recorded);
    const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(recorded, &lookup);
    return process.IsOpen() && process.Terminate() ? 1 : 0;
}

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_KillProcess(int32_t processType) {
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    std::string path;
    if (!table || !CopyPathOf(*table, processType, path)) return 0;
    return VantorProcessHelper_KillProcessByName(path.c_str());
}

}  // extern "C"
