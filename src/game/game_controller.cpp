// The game's side: one connection to the launcher's game server, status and
// chat messages, close requests, and the launcher's heartbeat watch.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "TamberLauncher.h"
#include "frame/log.h"
#include "messaging/agent.h"
#include "messaging/client.h"
#include "messaging/wire.h"
#include "platform/clock.h"
#include "platform/exclusion.h"
#include "platform/strings.h"
#include "platform/thread.h"

namespace {

struct VantorGameControllerStruct {
    // Start and Remove use the client under clientLock; senders go through
    // `agent`, a reference that outlives the client's Delete, so a send that
    // overlaps a Remove fails instead of touching freed memory.
    std::mutex clientLock;
    VantorClient* client = nullptr;
    std::shared_ptr<VantorMessageAgent> agent;
    char firstProcessPath[Tamber::kMaxPath] = {};
    char secondProcessPath[Tamber::kMaxPath] = {};
    std::atomic<uint32_t> lastHeartbeatTime{0};

    // The host sets callbacks on its thread while the socket thread reads them.
    std::mutex callbackLock;
    void* exitUserData = nullptr;
    ExitCallback exitCallback = nullptr;
    void* chatUserData = nullptr;
    ReceiveChatMessageCallback chatCallback = nullptr;

    // No callback starts once Remove has begun, and Remove waits for the one
    // running on the socket thread unless it is that callback's own.
    std::mutex lifeLock;
    std::condition_variable lifeChanged;
    bool removing = false;
    int callbacks = 0;
};

// The socket thread takes its own reference for each message, so a Remove on
// another thread never frees the record under a running callback.
std::shared_ptr<VantorGameControllerStruct> g_controller;
// Init and Remove run one at a time; one made from a callback never waits.
Tamber::TeardownExclusion g_teardown;
thread_local int t_callbackDepth = 0;

// The exclusion for one Init or Remove; test for it first.
class Teardown {
public:
    Teardown() : entered_(g_teardown.Enter(t_callbackDepth > 0)) {}
    ~Teardown() {
        if (entered_) g_teardown.Leave(t_callbackDepth > 0);
    }
    Teardown(const Teardown&) = delete;
    Teardown& operator=(const Teardown&) = delete;
    explicit operator bool() const { return entered_; }

private:
    bool entered_;
};

// Runs call as a host callback unless Remove has begun.
template <class Call>
void RunCallback(VantorGameControllerStruct& controller, Call call) {
    {
        std::lock_guard<std::mutex> guard(controller.lifeLock);
        if (controller.removing) return;
        ++controller.callbacks;
    }
    ++t_callbackDepth;
    call();
    if (--t_callbackDepth == 0) g_teardown.CallbacksLeft();
    {
        std::lock_guard<std::mutex> guard(controller.lifeLock);
        --controller.callbacks;
    }
    controller.lifeChanged.notify_all();
}

std::shared_ptr<VantorGameControllerStruct> Controller() { return std::atomic_load(&g_controller); }

std::shared_ptr<VantorGameControllerStruct> RequireController() {
    return VantorLog_RequireRecord(Controller(), "VantorGameControllerStruct");
}

void HandleExitRequest(VantorGameControllerStruct& controller) {
    const auto [callback, userData] =
        Tamber::CopyUnderLock(controller.callbackLock, controller.exitCallback, controller.exitUserData);
    if (callback)
        RunCallback(controller, [callback = callback, userData = userData] { callback(userData); });
    else
        VantorLog_Message(kLogWarning, "No VantorGameController \"Exit\" handler provided.");
}

void HandleChat(VantorGameControllerStruct& controller, const char* payload) {
    const auto [callback, userData] =
        Tamber::CopyUnderLock(controller.callbackLock, controller.chatCallback, controller.chatUserData);
    if (callback)
        RunCallback(controller, [&, callback = callback, userData = userData] { callback(userData, payload); });
}

int32_t VANTOR_CALL OnGameControllerMessage(void*, int32_t messageType, const char* payload) {
    auto controller = Controller();
    if (!controller) return 1;
    switch (messageType) {
        case VANTORMESSAGETYPE_CLOSE:
        case VANTORMESSAGETYPE_INVALID:
            HandleExitRequest(*controller);
            break;
        case VANTORMESSAGETYPE_HEARTBEAT:
            controller->lastHeartbeatTime.store(Tamber::GetElapsedSeconds());
            break;
        case VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME:
            HandleChat(*controller, payload);
            break;
        default:
            break;
    }
    return 1;
}

int32_t Send(int32_t messageType, const char* payload) {
    auto controller = RequireController();
    if (!controller) return 0;
    return VantorMessageAgent_SendMessage(controller->agent.get(), messageType, payload);
}

// Call with the teardown exclusion held.
void RemoveController() {
    auto controller = std::atomic_exchange(&g_controller, std::shared_ptr<VantorGameControllerStruct>());
    if (!controller) return;
    {
        std::lock_guard<std::mutex> guard(controller->lifeLock);
        controller->removing = true;
    }
    {
        std::lock_guard<std::mutex> lock(controller->clientLock);
        VantorClient_Delete(&controller->client);
    }
    // The socket thread's callback, past the agent's bounded join; a Remove
    // from that callback is its own and does not wait.
    std::unique_lock<std::mutex> lock(controller->lifeLock);
    controller->lifeChanged.wait(lock, [&] { return controller->callbacks == t_callbackDepth; });
}

}  // namespace

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorGameController_Init(const char* firstProcessPath, const char* secondProcessPath) {
    const Teardown teardown;
    if (!teardown) {
        VantorLog_RequireRecord(std::shared_ptr<VantorGameControllerStruct>(), "VantorGameControllerStruct");
        return 0;
    }
    // A second Init must not leave the first connection and its threads behind.
    RemoveController();
    auto controller = std::make_shared<VantorGameControllerStruct>();
    Tamber::std_strncpy(controller->firstProcessPath, firstProcessPath, sizeof controller->firstProcessPath);
    Tamber::std_strncpy(controller->secondProcessPath, secondProcessPath, sizeof controller->secondProcessPath);
    controller->client = VantorClient_Init();
    controller->agent = VantorMessageAgent_Share(VantorClient_Agent(controller->client));
    VantorMessageAgent_SetMessageArrivedCallback(controller->agent.get(), nullptr, OnGameControllerMessage);
    std::atomic_store(&g_controller, controller);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_Remove(void) {
    const Teardown teardown;
    // From a callback while one is under way: as without a controller.
    if (!VantorLog_RequireRecord(teardown ? Controller() : nullptr, "VantorGameControllerStruct")) return 0;
    RemoveController();
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_Start(int32_t port) {
    auto controller = RequireController();
    if (!controller) return 0;
    controller->lastHeartbeatTime.store(Tamber::GetElapsedSeconds());
    std::lock_guard<std::mutex> lock(controller->clientLock);
    // Removed meanwhile: the client is gone.
    if (controller->client == nullptr) return 0;
    return VantorClient_Start(controller->client, port);
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_SendChatMessage(const char* text) {
    if (!RequireController()) return 0;
    Send(VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, text);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_SendGameConnectedToServerMessage(void) {
    return Send(VANTORMESSAGETYPE_GAMECLIENT_CONNECTED_TO_SERVER, nullptr);
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_SendGameLaunchedMessage(void) {
    return Send(VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, nullptr);
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_SendGameVersionMismatchMessage(void) {
    return Send(VANTORMESSAGETYPE_GAMECLIENT_VERSION_MISMATCH, nullptr);
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_SendGameAbandonedMessage(void) {
    return Send(VANTORMESSAGETYPE_GAMECLIENT_ABANDONED, nullptr);
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_SendShutdownMessage(void) {
    return Send(VANTORMESSAGETYPE_GAMECLIENT_STOPPED, nullptr);
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_SetExitCallback(void* userData, ExitCallback callback) {
    auto controller = RequireController();
    if (!controller) return 0;
    std::lock_guard<std::mutex> lock(controller->callbackLock);
    controller->exitUserData = userData;
    controller->exitCallback = callback;
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_SetReceiveChatMessageCallback(void* userData,
                                                                                  ReceiveChatMessageCallback callback) {
    auto controller = RequireController();
    if (!controller) return 0;
    std::lock_guard<std::mutex> lock(controller->callbackLock);
    controller->chatUserData = userData;
    controller->chatCallback = callback;
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_SetHeartbeatActive(int32_t active) {
    auto controller = RequireController();
    if (!controller) return 0;
    return VantorMessageAgent_SetHeartbeatActive(controller->agent.get(), active);
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_GetHeartbeatActive(int32_t* active) {
    auto controller = RequireController();
    if (!controller) return 0;
    return VantorMessageAgent_GetHeartbeatActive(controller->agent.get(), active);
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_KillProcesses(void) {
    auto controller = RequireController();
    if (!controller) return 0;
    VantorProcessHelper_KillProcessByName(controller->secondProcessPath);
    VantorProcessHelper_KillProcessByName(controller->firstProcessPath);
    VantorProcessHelper_KillProcessByName("dist_agent_core.exe");
    VantorProcessHelper_KillProcessByName("DeltaDiff.exe");
    VantorProcessHelper_KillProcessByName("DeltaPatch.exe");
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorGameController_AreProcessesHung(int32_t* hung) {
    auto controller = RequireController();
    if (!controller) return 0;
    // Wrap-safe: the launcher counts as silent after 150 s, also across the 49.7-day wrap.
    const uint32_t silent = Tamber::SecondsBetween(controller->lastHeartbeatTime.load(), Tamber::GetElapsedSeconds());
    if (hung) *hung = silent >= kSilenceLimitSeconds ? 1 : 0;
    return 1;
}

}  // extern "C"
