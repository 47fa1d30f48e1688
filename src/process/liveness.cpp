// Whether the recorded Air client and game still run, and stopping them.
#include "TamberLauncher.h"
#include "platform/interrupt.h"
#include "platform/process.h"
#include "process/process_helper.h"
#include "process/process_table.h"

bool IsRecordedProcessRunning(VantorProcessTable& table, int32_t processType) {
    uint32_t id = 0;
    ReadProcessId(table, processType, &id);
    if (id == 0 && processType == VANTORPROCESSTYPE_AIR) AdoptAirClient(table);
    ReadProcessId(table, processType, &id);
    if (id == 0) return false;
    const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(id);
    return process.IsOpen() && process.IsRunning();
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
    uint32_t id = 0;
    ReadProcessId(*table, processType, &id);
    {
        // A grace period for the process to end by itself; how it went is seen below.
        const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(id);
        // Woken by the owner's teardown: the stop ends here, terminating nothing.
        const bool woken = process.IsOpen() &&
                           Tamber::WaitForProcessUnlessInterrupted(process, timeoutMs) == Tamber::WaitOutcome::kWoken;
        if (woken) return 1;
    }
    if (!IsRecordedProcessRunning(*table, processType)) return 1;
    // The check may have just adopted an Air client: end the process it found.
    ReadProcessId(*table, processType, &id);
    const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(id);
    return process.IsOpen() && process.Terminate() ? 1 : 0;
}

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_KillProcess(int32_t processType) {
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    std::string path;
    if (!table || !CopyPathOf(*table, processType, path)) return 0;
    return VantorProcessHelper_KillProcessByName(path.c_str());
}

}  // extern "C"
