// The launcher's controller: its record, three servers, the instance
// semaphore, and the start sequence that launches the Air client.
#include "launcher/controller.h"

#include <cstring>

#include "frame/log.h"
#include "messaging/server.h"
#include "platform/clock.h"
#include "platform/shared_mutex.h"
#include "platform/strings.h"
#include "platform/thread.h"
#include "process/process_helper.h"
#include "process/window_handle.h"

namespace {

ControllerPtr g_controller;
// Held from Init to Remove; released at unload by its destructor as well.
std::shared_ptr<Tamber::SharedMutex> g_instanceSemaphore;

constexpr std::size_t kMaxExtraArguments = 2000;
constexpr char kAirCommandLineFormat[] = "-runtime .\\ -nodebug META-INF\\AIR\\application.xml .\\ -- %d%s%s";
// Room for the longest line the argument limit accepts: the fixed text (the
// format less its three two-character conversions), the longest port text
// ("-2147483648"), the space, the arguments and the terminating zero.
constexpr std::size_t kAirCommandLineSize =
    (sizeof kAirCommandLineFormat - 1 - 6) + 11 + 1 + kMaxExtraArguments + 1;

VantorServer* CreateServer(MessageArrivedCallback handler) {
    VantorServer* server = nullptr;
    VantorServer_Create(&server);
    VantorServer_SetMessageArrivedCallback(server, nullptr, handler);
    return server;
}

// Takes the controller out of service: no handler touches its servers after
// this; then the process table goes, then the servers, launcher server first.
void RemoveController(const ControllerPtr& controller) {
    {
        std::unique_lock<std::shared_mutex> lock(controller->serversLock);
        controller->removed = true;
    }
    VantorProcessHelper_Remove();
    VantorServer_Delete(&controller->launcherServer);
    VantorServer_Delete(&controller->airServer);
    VantorServer_Delete(&controller->gameServer);
    ControllerPtr expected = controller;
    std::atomic_compare_exchange_strong(&g_controller, &expected, ControllerPtr());
    std::atomic_store(&g_instanceSemaphore, std::shared_ptr<Tamber::SharedMutex>());
}

}  // namespace

ControllerPtr CurrentController() { return std::atomic_load(&g_controller); }

ControllerPtr RequireController() {
    return VantorLog_RequireRecord(CurrentController(), "VantorServerControllerStruct");
}

void ReportError(VantorServerControllerStruct& controller, int32_t errorType, const char* text) {
    VantorLog_Message(kLogError, text);
    const auto [callback, userData] =
        Tamber::CopyUnderLock(controller.callbackLock, controller.errorCallback, controller.errorUserData);
    if (callback) callback(userData, errorType, text);
}

void CallExit(VantorServerControllerStruct& controller) {
    const auto [callback, userData] =
        Tamber::CopyUnderLock(controller.callbackLock, controller.exitCallback, controller.exitUserData);
    if (callback) callback(userData);
}

bool IsRemoved(VantorServerControllerStruct& controller) {
    std::shared_lock<std::shared_mutex> lock(controller.serversLock);
    return controller.removed;
}

int32_t Broadcast(VantorServerControllerStruct& controller, ServerKind kind, int32_t messageType,
                  const char* payload) {
    std::shared_ptr<VantorServer> server;
    {
        // Only the choice is made under the lock: Remove must not wait for a
        // peer that is slow to take its bytes. Remove's Delete then ends the send.
        std::shared_lock<std::shared_mutex> lock(controller.serversLock);
        if (controller.removed) return 0;
        VantorServer* chosen = kind == ServerKind::Launcher ? controller.launcherServer
                               : kind == ServerKind::Air    ? controller.airServer
                                                            : controller.gameServer;
        if (chosen == nullptr) return 0;
        server = VantorServer_Share(chosen);
    }
    return VantorServer_SendMessageToAllClients(server.get(), messageType, payload);
}

namespace {

// A broadcast to the null server: the Air server of the current controller.
int32_t BroadcastToAirServer(int32_t messageType, const char* payload) {
    const ControllerPtr controller = CurrentController();
    return controller ? Broadcast(*controller, ServerKind::Air, messageType, payload) : 0;
}

}  // namespace

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorServerController_Init(const char* launcherPath, int32_t launcherPort,
                                                           const char* airPath, int32_t airPort,
                                                           const char* gamePath, int32_t gamePort,
                                                           void* exitUserData, ExitCallback exitCallback,
                                                           ErrorMessageCallback errorCallback,
                                                           PatcherPathCallback patcherPathCallback) {
    // A second Init tears the first controller down, or its servers would keep the ports.
    if (ControllerPtr earlier = CurrentController()) RemoveController(earlier);

    std::atomic_store(&g_instanceSemaphore, Tamber::SharedMutex::Create());
    VantorServer_SetNullServerBroadcast(BroadcastToAirServer);

    auto controller = std::make_shared<VantorServerControllerStruct>();
    controller->launcherPort = launcherPort;
    controller->airPort = airPort;
    controller->gamePort = gamePort;
    controller->exitUserData = exitUserData;
    controller->exitCallback = exitCallback;
    controller->errorCallback = errorCallback;
    controller->patcherPathCallback = patcherPathCallback;
    std::atomic_store(&g_controller, controller);

    controller->launcherServer = CreateServer(OnLauncherServerMessage);
    controller->airServer = CreateServer(OnAirServerMessage);
    controller->gameServer = CreateServer(OnGameServerMessage);

    VantorProcessHelper_Init(launcherPath, airPath, gamePath);

    // Left-over copies of the three programs from an earlier run.
    VantorProcessHelper_KillProcessByName(gamePath);
    VantorProcessHelper_KillProcessByName(airPath);
    VantorProcessHelper_KillProcessByName(launcherPath);

    if (!VantorServer_Start(controller->launcherServer, launcherPort)) {
        ReportError(*controller, VANTORERRORTYPE_COMMUNICATIONSTART, "Unable to start communications for vantor.\n");
        return 0;
    }
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_Remove(void) {
    ControllerPtr controller = RequireController();
    if (!controller) return 0;
    RemoveController(controller);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_StartArgsExplicit(const char* airCommandLine) {
    ControllerPtr controller = RequireController();
    if (!controller) return 0;
    if (controller->started.load() == 1) {
        ReportError(*controller, VANTORERRORTYPE_GENERIC, "The controller is already started.\n");
        return 0;
    }
    // Every step runs whatever the one before did; supervision handles the rest.
    if (!VantorServer_Start(controller->airServer, controller->airPort))
        ReportError(*controller, VANTORERRORTYPE_AIRCOMMSTART, "Unable to start communications for air.\n");
    if (!VantorServer_Start(controller->gameServer, controller->gamePort))
        ReportError(*controller, VANTORERRORTYPE_GAMECOMMSTART, "Unable to start communications for game.\n");
    if (VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_AIR, airCommandLine) == 0)
        ReportError(*controller, VANTORERRORTYPE_AIRPROCESSSTART, "Unable to start air.\n");
    controller->airLastHeartbeat.store(Tamber::GetElapsedSeconds());
    controller->started.store(1);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_StartArgs(const char* extraArguments) {
    if (extraArguments != nullptr && std::strlen(extraArguments) > kMaxExtraArguments) {
        VantorLog_Message(kLogError, "Failed because arguments passed are too long.\n");
        return 0;
    }
    ControllerPtr controller = RequireController();
    if (!controller) return 0;
    char commandLine[kAirCommandLineSize];
    Tamber::std_snprintf(commandLine, sizeof commandLine, kAirCommandLineFormat, controller->airPort,
                         extraArguments ? " " : "", extraArguments ? extraArguments : "");
    return VantorServerController_StartArgsExplicit(commandLine);
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_Start(void) {
    return VantorServerController_StartArgs(nullptr);
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_Stop(void) {
    ControllerPtr controller = RequireController();
    if (!controller) return 0;
    controller->started.store(0);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_RegisterHwnd(int32_t windowHandle) {
    SetRegisteredWindowHandle(windowHandle);
    return 1;
}

VANTOR_API VantorServer* VANTOR_CALL VantorServerController_GetAirServerHandle(void) {
    ControllerPtr controller = CurrentController();
    return controller ? controller->airServer : nullptr;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_SetErrorMessageCallback(void* userData,
                                                                              ErrorMessageCallback callback) {
    ControllerPtr controller = RequireController();
    if (!controller) return 0;
    std::lock_guard<std::mutex> lock(controller->callbackLock);
    controller->errorUserData = userData;
    controller->errorCallback = callback;
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_SetExitCallback(void* userData, ExitCallback callback) {
    ControllerPtr controller = RequireController();
    if (!controller) return 0;
    std::lock_guard<std::mutex> lock(controller->callbackLock);
    controller->exitUserData = userData;
    controller->exitCallback = callback;
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_VerifyAllNeededFilesExist(void) {
    ControllerPtr controller = RequireController();
    if (!controller) return 0;
    const char* paths[3] = {nullptr, nullptr, nullptr};
    VantorProcessHelper_GetProcessPathForProcessType(VANTORPROCESSTYPE_LAUNCHER, &paths[0]);
    VantorProcessHelper_GetProcessPathForProcessType(VANTORPROCESSTYPE_AIR, &paths[1]);
    VantorProcessHelper_GetProcessPathForProcessType(VANTORPROCESSTYPE_GAME, &paths[2]);
    bool allExist = true;
    for (const char* path : paths)
        if (!VerifyFileExists(path ? path : "")) allExist = false;
    if (!allExist) {
        ReportError(*controller, VANTORERRORTYPE_GENERIC,
                    "One or more of the required applications could not be found.\n");
        return 0;
    }
    return 1;
}

}  // extern "C"
