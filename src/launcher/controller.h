// The launcher-side controller's record, shared by the exports, the event
// processing and the message handlers that run on server socket threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "TamberLauncher.h"

struct VantorServerControllerStruct {
    std::atomic<int32_t> started{0};
    int32_t launcherPort = 0;
    VantorServer* launcherServer = nullptr;
    int32_t airPort = 0;
    VantorServer* airServer = nullptr;
    std::atomic<uint32_t> airLastHeartbeat{0};
    int32_t gamePort = 0;
    VantorServer* gameServer = nullptr;
    std::atomic<uint32_t> gameLastHeartbeat{0};
    std::atomic<int32_t> gameWasRunning{0};
    std::atomic<int32_t> gameExitAnnounced{0};

    // Host threads set the callbacks while socket threads call them.
    std::mutex callbackLock;
    void* exitUserData = nullptr;
    ExitCallback exitCallback = nullptr;
    void* errorUserData = nullptr;
    ErrorMessageCallback errorCallback = nullptr;
    PatcherPathCallback patcherPathCallback = nullptr;

    // Handlers use the servers under a shared lock; Remove marks the record
    // removed under the exclusive lock before it deletes them.
    std::shared_mutex serversLock;
    bool removed = false;
};

using ControllerPtr = std::shared_ptr<VantorServerControllerStruct>;

// The current controller, or null. Handlers keep the reference for the whole
// message, so Remove never frees the record under them.
ControllerPtr CurrentController();
// As CurrentController, logging "not yet initialized" when there is none.
ControllerPtr RequireController();

// Logs text at ERROR, then calls the error callback with it.
void ReportError(VantorServerControllerStruct& controller, int32_t errorType, const char* text);
// Calls the exit callback when one is set.
void CallExit(VantorServerControllerStruct& controller);
// True once Remove has begun (or the record is no longer the current one).
bool IsRemoved(VantorServerControllerStruct& controller);

enum class ServerKind { Launcher, Air, Game };
// VantorServer_SendMessageToAllClients on one of the controller's servers,
// unless the controller is being removed. Returns the broadcast's result.
int32_t Broadcast(VantorServerControllerStruct& controller, ServerKind kind, int32_t messageType,
                  const char* payload);

// Stops the game, then the Air client, each given graceMs to end by itself.
void StopGameAndAir(uint32_t graceMs);

// The three message handlers that Init gives the servers.
int32_t VANTOR_CALL OnLauncherServerMessage(void* context, int32_t messageType, const char* payload);
int32_t VANTOR_CALL OnGameServerMessage(void* context, int32_t messageType, const char* payload);
int32_t VANTOR_CALL OnAirServerMessage(void* context, int32_t messageType, const char* payload);

// Grace given to a process that the controller stops on its own.
constexpr uint32_t kStopGraceMs = 500;
