// The launcher's controller: its record, three servers, the instance
// semaphore, and the start sequence that launches the Air client.
#include "launcher/controller.h"

#include <cstring>
#include <string>
#include <utility>

#include "frame/log.h"
#include "messaging/server.h"
#include "platform/clock.h"
#include "platform/shared_mutex.h"
#include "platform/strings.h"
#include "platform/thread.h"
#include "process/process_helper.h"
#include "process/window_handle.h"

namespace {

// Held from Init to Remove; released at unload by its destructor as well.
std::shared_ptr<Tamber::SharedMutex> g_instanceSemaphore;
// Each controller's handlers get a context of their own.
std::atomic<uintptr_t> g_lastGeneration{0};

constexpr std::size_t kMaxExtraArguments = 2000;
constexpr char kAirCommandLineFormat[] = "-runtime .\\ -nodebug META-INF\\AIR\\application.xml .\\ -- %d%s%s";
// Room for the longest line the argument limit accepts: the fixed text (the
// format less its three two-character conversions), the longest port text
// ("-2147483648"), the space, the arguments and the terminating zero.
constexpr std::size_t kAirCommandLineSize = (sizeof kAirCommandLineFormat - 1 - 6) + 11 + 1 + kMaxExtraArguments + 1;

VantorServer* CreateServer(uintptr_t generation, MessageArrivedCallback handler) {
    VantorServer* server = nullptr;
    VantorServer_Create(&server);
    VantorServer_SetMessageArrivedCallback(server, reinterpret_cast<void*>(generation), handler);
    return server;
}

// A broadcast to the null server: the Air server of the current controller.
int32_t BroadcastToAirServer(int32_t messageType, const char* payload) {
    Step step(Step::Missing::kQuiet);
    return step ? Broadcast(*step, ServerKind::Air, messageType, payload) : 0;
}

// VantorServer_Start on the Air or game server, under the lock that keeps
// Remove from deleting it meanwhile.
int32_t StartServer(VantorServerControllerStruct& controller, ServerKind kind) {
    std::shared_lock<std::shared_mutex> lock(controller.serversLock);
    VantorServer* server = kind == ServerKind::Air ? controller.airServer : controller.gameServer;
    if (server == nullptr || IsRemoving(controller)) return 0;
    return VantorServer_Start(server, kind == ServerKind::Air ? controller.airPort : controller.gamePort);
}

}  // namespace

void RemoveController(const ControllerPtr& controller) {
    {
        std::lock_guard<std::mutex> guard(controller->lifeLock);
        controller->removing = true;
    }
    controller->lifeChanged.notify_all();
    controller->interrupt.Raise();
    UnpublishController(controller);
    VantorServer* servers[3] = {};
    {
        std::unique_lock<std::shared_mutex> lock(controller->serversLock);
        servers[0] = std::exchange(controller->launcherServer, nullptr);
        servers[1] = std::exchange(controller->airServer, nullptr);
        servers[2] = std::exchange(controller->gameServer, nullptr);
    }
    // Bounded joins, with their warnings when a step was busy past them...
    for (VantorServer*& server : servers) VantorServer_Delete(&server);
    // ...then every step of another thread, and so every callback, has ended.
    {
        std::unique_lock<std::mutex> lock(controller->lifeLock);
        controller->lifeChanged.wait(lock, [&] { return controller->steps == Step::HeldOn(*controller); });
    }
    // Last, so that no step ever finds the table gone.
    VantorProcessHelper_Remove();
    std::atomic_store(&g_instanceSemaphore, std::shared_ptr<Tamber::SharedMutex>());
}

bool ReportError(VantorServerControllerStruct& controller, int32_t errorType, const char* text) {
    VantorLog_Message(kLogError, text);
    const auto [callback, userData] =
        Tamber::CopyUnderLock(controller.callbackLock, controller.errorCallback, controller.errorUserData);
    if (callback)
        RunCallback(controller, [&, callback = callback, userData = userData] { callback(userData, errorType, text); });
    return !IsRemoving(controller);
}

void CallExit(VantorServerControllerStruct& controller) {
    const auto [callback, userData] =
        Tamber::CopyUnderLock(controller.callbackLock, controller.exitCallback, controller.exitUserData);
    if (callback) RunCallback(controller, [callback = callback, userData = userData] { callback(userData); });
}

int32_t Broadcast(VantorServerControllerStruct& controller, ServerKind kind, int32_t messageType, const char* payload) {
    std::shared_ptr<VantorServer> server;
    {
        // Only the choice is made under the lock: Remove must not wait for a
        // peer that is slow to take its bytes. Remove's Delete then ends the send.
        std::shared_lock<std::shared_mutex> lock(controller.serversLock);
        VantorServer* chosen = kind == ServerKind::Launcher ? controller.launcherServer
                               : kind == ServerKind::Air    ? controller.airServer
                                                            : controller.gameServer;
        if (chosen == nullptr || IsRemoving(controller)) return 0;
        server = VantorServer_Share(chosen);
    }
    return VantorServer_SendMessageToAllClients(server.get(), messageType, payload);
}

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorServerController_Init(const char* launcherPath, int32_t launcherPort,
                                                           const char* airPath, int32_t airPort, const char* gamePath,
                                                           int32_t gamePort, void* exitUserData,
                                                           ExitCallback exitCallback,
                                                           ErrorMessageCallback errorCallback,
                                                           PatcherPathCallback patcherPathCallback) {
    if (!BeginTeardown()) {
        VantorLog_RequireRecord(ControllerPtr(), "VantorServerControllerStruct");
        return 0;
    }
    // A second Init tears the first controller down, or its servers would keep the ports.
    if (ControllerPtr earlier = CurrentController()) RemoveController(earlier);

    std::atomic_store(&g_instanceSemaphore, Tamber::SharedMutex::Create());
    VantorServer_SetNullServerBroadcast(BroadcastToAirServer);

    // Filled in before it is published: other threads see it whole.
    auto controller = std::make_shared<VantorServerControllerStruct>();
    controller->launcherPort = launcherPort;
    controller->airPort = airPort;
    controller->gamePort = gamePort;
    controller->exitUserData = exitUserData;
    controller->exitCallback = exitCallback;
    controller->errorCallback = errorCallback;
    controller->patcherPathCallback = patcherPathCallback;
    controller->generation = ++g_lastGeneration;
    controller->launcherServer = CreateServer(controller->generation, OnLauncherServerMessage);
    controller->airServer = CreateServer(controller->generation, OnAirServerMessage);
    controller->gameServer = CreateServer(controller->generation, OnGameServerMessage);
    VantorProcessHelper_Init(launcherPath, airPath, gamePath);
    PublishController(controller);

    // Left-over copies of the three programs from an earlier run.
    VantorProcessHelper_KillProcessByName(gamePath);
    VantorProcessHelper_KillProcessByName(airPath);
    VantorProcessHelper_KillProcessByName(launcherPath);

    const int32_t started = VantorServer_Start(controller->launcherServer, launcherPort);
    // No exclusion is held while the host is called back: its callback may Remove.
    EndTeardown();
    if (started) return 1;
    Step step(controller);
    if (step)
        ReportError(*step, VANTORERRORTYPE_COMMUNICATIONSTART, "Unable to start communications for vantor.\n");
    else
        VantorLog_Message(kLogError, "Unable to start communications for vantor.\n");
    return 0;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_Remove(void) {
    if (!BeginTeardown()) {
        VantorLog_RequireRecord(ControllerPtr(), "VantorServerControllerStruct");
        return 0;
    }
    const ControllerPtr controller = VantorLog_RequireRecord(CurrentController(), "VantorServerControllerStruct");
    if (controller) RemoveController(controller);
    EndTeardown();
    return controller ? 1 : 0;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_StartArgsExplicit(const char* airCommandLine) {
    Step controller(Step::Missing::kLog);
    if (!controller) return 0;
    if (controller->started.load() == 1) {
        ReportError(*controller, VANTORERRORTYPE_GENERIC, "The controller is already started.\n");
        return 0;
    }
    // Every step runs whatever the one before did; supervision handles the rest,
    // unless a callback removed the controller.
    if (!StartServer(*controller, ServerKind::Air) &&
        !ReportError(*controller, VANTORERRORTYPE_AIRCOMMSTART, "Unable to start communications for air.\n"))
        return 0;
    if (!StartServer(*controller, ServerKind::Game) &&
        !ReportError(*controller, VANTORERRORTYPE_GAMECOMMSTART, "Unable to start communications for game.\n"))
        return 0;
    const int32_t airStarted = VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_AIR, airCommandLine);
    if (IsRemoving(*controller)) return 0;
    if (airStarted == 0 && !ReportError(*controller, VANTORERRORTYPE_AIRPROCESSSTART, "Unable to start air.\n"))
        return 0;
    controller->airLastHeartbeat.store(Tamber::GetElapsedSeconds());
    controller->started.store(1);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_StartArgs(const char* extraArguments) {
    if (extraArguments != nullptr && std::strlen(extraArguments) > kMaxExtraArguments) {
        VantorLog_Message(kLogError, "Failed because arguments passed are too long.\n");
        return 0;
    }
    Step controller(Step::Missing::kLog);
    if (!controller) return 0;
    char commandLine[kAirCommandLineSize];
    Tamber::std_snprintf(commandLine, sizeof commandLine, kAirCommandLineFormat, controller->airPort,
                         extraArguments ? " " : "", extraArguments ? extraArguments : "");
    return VantorServerController_StartArgsExplicit(commandLine);
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_Start(void) { return VantorServerController_StartArgs(nullptr); }

VANTOR_API int32_t VANTOR_CALL VantorServerController_Stop(void) {
    Step controller(Step::Missing::kLog);
    if (!controller) return 0;
    controller->started.store(0);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_RegisterHwnd(int32_t windowHandle) {
    SetRegisteredWindowHandle(windowHandle);
    return 1;
}

VANTOR_API VantorServer* VANTOR_CALL VantorServerController_GetAirServerHandle(void) {
    const ControllerPtr controller = CurrentController();
    if (!controller) return nullptr;
    std::shared_lock<std::shared_mutex> lock(controller->serversLock);
    return controller->airServer;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_SetErrorMessageCallback(void* userData,
                                                                              ErrorMessageCallback callback) {
    Step controller(Step::Missing::kLog);
    if (!controller) return 0;
    std::lock_guard<std::mutex> lock(controller->callbackLock);
    controller->errorUserData = userData;
    controller->errorCallback = callback;
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_SetExitCallback(void* userData, ExitCallback callback) {
    Step controller(Step::Missing::kLog);
    if (!controller) return 0;
    std::lock_guard<std::mutex> lock(controller->callbackLock);
    controller->exitUserData = userData;
    controller->exitCallback = callback;
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServerController_VerifyAllNeededFilesExist(void) {
    Step controller(Step::Missing::kLog);
    if (!controller) return 0;
    const std::string paths[3] = {CopyProcessPath(VANTORPROCESSTYPE_LAUNCHER), CopyProcessPath(VANTORPROCESSTYPE_AIR),
                                  CopyProcessPath(VANTORPROCESSTYPE_GAME)};
    bool allExist = true;
    for (const std::string& path : paths)
        if (!VerifyFileExists(path.c_str())) allExist = false;
    if (!allExist) {
        ReportError(*controller, VANTORERRORTYPE_GENERIC,
                    "One or more of the required applications could not be found.\n");
        return 0;
    }
    return 1;
}

}  // extern "C"
