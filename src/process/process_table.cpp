// The table: paths and ids of the three programs, made by Init and released by Remove.
#include "process/process_table.h"

#include "TamberLauncher.h"
#include "frame/log.h"
#include "process/process_helper.h"

namespace {

std::shared_ptr<VantorProcessTable> g_table;

void PutTable(std::shared_ptr<VantorProcessTable> table) { std::atomic_store(&g_table, std::move(table)); }

}  // namespace

std::shared_ptr<VantorProcessTable> CurrentProcessTable() { return std::atomic_load(&g_table); }

std::shared_ptr<VantorProcessTable> RequireProcessTable() {
    return VantorLog_RequireRecord(CurrentProcessTable(), "VantorProcessHelper");
}

const char* ProcessPathOf(VantorProcessTable& table, int32_t processType) {
    switch (processType) {
        case VANTORPROCESSTYPE_AIR:
            return table.airPath;
        case VANTORPROCESSTYPE_GAME:
            return table.gamePath;
        case VANTORPROCESSTYPE_LAUNCHER:
            return table.launcherPath;
        default:
            VantorLog_Message(kLogError, "Unknown process type.\n");
            return nullptr;
    }
}

bool CopyPathOf(VantorProcessTable& table, int32_t processType, std::string& path) {
    const char* slot = ProcessPathOf(table, processType);
    if (slot == nullptr) return false;
    std::lock_guard<std::mutex> guard(table.pathLock);
    path = slot;
    return true;
}

std::string CopyProcessPath(int32_t processType) {
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    std::string path;
    if (table) CopyPathOf(*table, processType, path);
    return path;
}

namespace {

// The identity slot of the Air client or the game; null (logged) for any other type.
template <class Table>
auto IdentitySlot(Table& table, int32_t processType) -> decltype(&table.air) {
    switch (processType) {
        case VANTORPROCESSTYPE_AIR:
            return &table.air;
        case VANTORPROCESSTYPE_GAME:
            return &table.game;
        default:
            VantorLog_Message(kLogError, "Unknown process type.\n");
            return nullptr;
    }
}

// processId with the start time of the process that has it now; when that
// cannot be read, a start time that no later holder of the id matches.
Tamber::ProcessIdentity IdentityOf(uint32_t processId) {
    Tamber::ProcessIdentity identity;
    identity.id = processId;
    const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(processId);
    if (process.IsOpen()) process.ReadStartTime(&identity.startTime);
    return identity;
}

void ForgetGame(VantorProcessTable& table) {
    std::lock_guard<std::mutex> guard(table.idLock);
    table.game = Tamber::ProcessIdentity();
}

}  // namespace

bool ReadProcessIdentity(const VantorProcessTable& table, int32_t processType, Tamber::ProcessIdentity* identity) {
    const Tamber::ProcessIdentity* slot = IdentitySlot(table, processType);
    if (slot == nullptr) return false;
    std::lock_guard<std::mutex> guard(table.idLock);
    *identity = *slot;
    return true;
}

bool WriteProcessIdentity(VantorProcessTable& table, int32_t processType, const Tamber::ProcessIdentity& identity) {
    Tamber::ProcessIdentity* slot = IdentitySlot(table, processType);
    if (slot == nullptr) return false;
    std::lock_guard<std::mutex> guard(table.idLock);
    *slot = identity;
    return true;
}

int32_t SetGamePath(const char* path) {
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    if (!table) return 0;
    std::lock_guard<std::mutex> guard(table->pathLock);
    Tamber::std_strncpy(table->gamePath, path, sizeof table->gamePath);
    ForgetGame(*table);
    return 1;
}

int32_t RestoreDefaultGamePath() {
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    if (!table) return 0;
    std::lock_guard<std::mutex> guard(table->pathLock);
    Tamber::std_strncpy(table->gamePath, table->defaultGamePath, sizeof table->gamePath);
    ForgetGame(*table);
    return 1;
}

int32_t SetProcessIdForProcessType(int32_t processType, uint32_t processId) {
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    if (!table) return 0;
    return WriteProcessIdentity(*table, processType, IdentityOf(processId)) ? 1 : 0;
}

int32_t GetProcessIdForProcessType(int32_t processType, uint32_t* processId) {
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    if (!table) return 0;
    Tamber::ProcessIdentity identity;
    if (!ReadProcessIdentity(*table, processType, &identity)) return 0;
    if (processId != nullptr) *processId = identity.id;
    return 1;
}

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_Init(const char* launcherPath, const char* airPath,
                                                        const char* gamePath) {
    auto table = std::make_shared<VantorProcessTable>();
    Tamber::std_strncpy(table->launcherPath, launcherPath, sizeof table->launcherPath);
    Tamber::std_strncpy(table->airPath, airPath, sizeof table->airPath);
    Tamber::std_strncpy(table->gamePath, gamePath, sizeof table->gamePath);
    Tamber::std_strncpy(table->defaultGamePath, gamePath, sizeof table->defaultGamePath);
    // An earlier table goes once its last user lets go of it.
    PutTable(std::move(table));
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_Remove(void) {
    if (!RequireProcessTable()) return 0;
    PutTable(nullptr);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_GetProcessPathForProcessType(int32_t processType,
                                                                                const char** path) {
    if (path != nullptr) *path = nullptr;
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    if (!table) return 0;
    const char* slot = ProcessPathOf(*table, processType);
    if (slot == nullptr) return 0;
    if (path != nullptr) *path = slot;
    return 1;
}

}  // extern "C"
