// The process helper's table and the operations on it that the helper's own
// files share. Exports load the table once and hand it on, so a concurrent
// Remove never frees it under them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/process.h"
#include "platform/strings.h"

struct VantorProcessTable {
    char launcherPath[Tamber::kMaxPath] = {};
    char airPath[Tamber::kMaxPath] = {};
    char gamePath[Tamber::kMaxPath] = {};  // rewritten under pathLock; read through CopyPathOf
    char defaultGamePath[Tamber::kMaxPath] = {};
    // The Air client and the game: each id with the start time of the process
    // it named when it was recorded, so that a later holder of the id is not
    // taken for it. Read by the host's thread and written from message
    // handlers' threads, both under idLock.
    mutable std::mutex idLock;
    Tamber::ProcessIdentity air;
    Tamber::ProcessIdentity game;
    // Guards gamePath, which a launch on one Air connection rewrites while
    // other threads read it; the other paths never change after Init.
    std::mutex pathLock;
};

// The current table, or empty before Init and after Remove.
std::shared_ptr<VantorProcessTable> CurrentProcessTable();
// As CurrentProcessTable, logging that the helper is not initialized when there is none.
std::shared_ptr<VantorProcessTable> RequireProcessTable();

// The type's path slot, or null (logged) for an unknown type.
const char* ProcessPathOf(VantorProcessTable& table, int32_t processType);
// A copy of the type's path taken under the table's path lock; false (logged)
// for an unknown type.
bool CopyPathOf(VantorProcessTable& table, int32_t processType, std::string& path);
// The type's recorded id and start time on table; other types are logged and give false.
bool ReadProcessIdentity(const VantorProcessTable& table, int32_t processType, Tamber::ProcessIdentity* identity);
bool WriteProcessIdentity(VantorProcessTable& table, int32_t processType, const Tamber::ProcessIdentity& identity);

// The liveness check: may adopt an Air client by name. True when the type's
// recorded process runs, or when whether it does cannot be told (no
// descriptors or handles left, access denied): a failure of ours is not its end.
bool IsRecordedProcessRunning(VantorProcessTable& table, int32_t processType);
// AdoptAirClientProcess on table.
void AdoptAirClient(VantorProcessTable& table);
