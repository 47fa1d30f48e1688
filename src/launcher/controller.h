// The launcher-side controller's record and its lifetime model, shared by the
// exports, the event processing and the message handlers that run on server
// socket threads.
//
// Who owns what. The library owns one record at a time through a counted
// reference (CurrentController); the record owns its three servers, and the
// process helper's table belongs to it from Init to Remove. No thread uses the
// record except inside a Step, which holds a reference for the step's whole
// length: an export call, or one message handled by a handler. Handlers know
// their controller by the generation that Init gave their servers as context,
// so a late message of a removed controller never reaches its successor.
//
// Locks. lifeLock guards removing, steps, callbackOwner and callbackDepth;
// serversLock the three server fields; callbackLock the host's callbacks and
// their user data; the library-wide teardown exclusion lets one Remove or Init
// run at a time. The times and flags are atomics, written whole; the ports and
// the generation never change once the record is published. Paths are read
// from the process table as copies, never as pointers into it. No lock is held
// while the host is called back; serversLock is held across a server's Start
// so that Remove cannot delete it meanwhile, never across a send.
//
// Callbacks. Every host callback runs through RunCallback, inside a step: at
// most one at a time across threads (a thread already inside one runs a
// nested one at once), and none once Remove has begun.
//
// Remove. It takes the teardown exclusion: a Remove from outside any callback
// waits for one under way (taken inside a callback, the exclusion lasts until
// that callback returns), one from inside a callback returns at once as if
// there were no controller. It then marks the record removing and raises its
// interrupt: no step starts, no callback starts, and every wait of a step (the
// process helper's pauses and grace periods, the wait for an earlier game, for
// an announced exit, for the patcher's load) ends. A step whose wait was woken,
// or that made a callback during which Remove began, does nothing more: it
// stops, kills, starts, forwards, logs and calls back nothing. Remove next
// deletes the servers (their bounded joins and warnings), waits without limit
// until no step of another thread is left, removes the process table and
// releases the record. After it returns the library never calls the host for
// that controller again.
//
// After Remove begins, a step already running still holds the record and may
// read it, but only to find that it is to stop; a message that arrives finds
// no step to enter and is dropped. A Remove made from a callback on a socket
// thread leaves that thread to finish in the library after Remove returns: its
// agent abandons it, and Vantor_Remove waits for it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "TamberLauncher.h"
#include "platform/interrupt.h"

struct VantorServerControllerStruct {
    std::atomic<int32_t> started{0};
    int32_t launcherPort = 0;
    int32_t airPort = 0;
    int32_t gamePort = 0;
    std::atomic<uint32_t> airLastHeartbeat{0};
    std::atomic<uint32_t> gameLastHeartbeat{0};
    std::atomic<int32_t> gameWasRunning{0};
    std::atomic<int32_t> gameExitAnnounced{0};
    // The context that Init gave the servers' handlers.
    uintptr_t generation = 0;

    // Null once Remove has begun.
    std::shared_mutex serversLock;
    VantorServer* launcherServer = nullptr;
    VantorServer* airServer = nullptr;
    VantorServer* gameServer = nullptr;

    std::mutex callbackLock;
    void* exitUserData = nullptr;
    ExitCallback exitCallback = nullptr;
    void* errorUserData = nullptr;
    ErrorMessageCallback errorCallback = nullptr;
    PatcherPathCallback patcherPathCallback = nullptr;

    std::mutex lifeLock;
    std::condition_variable lifeChanged;
    bool removing = false;
    int steps = 0;                // steps in flight, on every thread
    uint32_t callbackOwner = 0;   // the thread inside a callback, or 0
    int callbackDepth = 0;        // its nesting
    Tamber::Interrupt interrupt;  // raised when Remove begins
};

using ControllerPtr = std::shared_ptr<VantorServerControllerStruct>;

// One thread's use of the controller: holds the record and counts as in flight
// until it ends; the thread's waits watch the record's interrupt meanwhile.
// Empty when there is no controller or Remove has begun.
class Step {
public:
    enum class Missing { kLog, kQuiet };
    // The current controller; kLog logs "not yet initialized" when there is none.
    explicit Step(Missing missing);
    // The controller whose handlers were given context.
    explicit Step(void* context);
    // That controller.
    explicit Step(const ControllerPtr& controller);
    ~Step();
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;

    explicit operator bool() const { return static_cast<bool>(controller_); }
    VantorServerControllerStruct& operator*() const { return *controller_; }
    VantorServerControllerStruct* operator->() const { return controller_.get(); }

    // How many steps the calling thread holds on controller.
    static int HeldOn(const VantorServerControllerStruct& controller);

private:
    void Enter(ControllerPtr controller);

    ControllerPtr controller_;
    Step* outer_ = nullptr;
    std::unique_ptr<Tamber::InterruptScope> scope_;
};

// The current controller, or null; for the rare readers outside steps.
ControllerPtr CurrentController();
// Publishes controller, or clears the slot when it still holds expected.
void PublishController(const ControllerPtr& controller);
void UnpublishController(const ControllerPtr& expected);

// True once Remove has begun on the controller: a step then does nothing more.
bool IsRemoving(VantorServerControllerStruct& controller);
// Runs call as one of the controller's host callbacks (see above). False when
// Remove had begun, so that it did not run.
template <class Call>
bool RunCallback(VantorServerControllerStruct& controller, Call call);
// True while the calling thread is inside a host callback of the controller's.
bool InsideCallback();

// The library-wide exclusion of Remove and Init. False, with nothing taken,
// when one is under way and the caller is inside a callback.
bool BeginTeardown();
void EndTeardown();
// Marks the controller removing, deletes its servers, waits for every other
// thread's step to end, removes the process table and unpublishes it.
void RemoveController(const ControllerPtr& controller);

// Logs text at ERROR, then calls the error callback with it. False when Remove
// has begun, so that the step ends there.
bool ReportError(VantorServerControllerStruct& controller, int32_t errorType, const char* text);
// Calls the exit callback when one is set.
void CallExit(VantorServerControllerStruct& controller);

enum class ServerKind { Launcher, Air, Game };
// VantorServer_SendMessageToAllClients on one of the controller's servers,
// unless the controller is being removed. Returns the broadcast's result.
int32_t Broadcast(VantorServerControllerStruct& controller, ServerKind kind, int32_t messageType, const char* payload);

// Ends the run: stops the game, then the Air client, each given graceMs to end
// by itself, then calls the exit callback; what is left when Remove begins is
// skipped.
void EndRun(VantorServerControllerStruct& controller, uint32_t graceMs);

// The three message handlers that Init gives the servers.
int32_t VANTOR_CALL OnLauncherServerMessage(void* context, int32_t messageType, const char* payload);
int32_t VANTOR_CALL OnGameServerMessage(void* context, int32_t messageType, const char* payload);
int32_t VANTOR_CALL OnAirServerMessage(void* context, int32_t messageType, const char* payload);

// Grace given to a process that the controller stops on its own.
constexpr uint32_t kStopGraceMs = 500;

namespace ControllerDetail {
// Takes the callback turn; false when Remove has begun.
bool EnterCallback(VantorServerControllerStruct& controller);
void LeaveCallback(VantorServerControllerStruct& controller);
}  // namespace ControllerDetail

template <class Call>
bool RunCallback(VantorServerControllerStruct& controller, Call call) {
    if (!ControllerDetail::EnterCallback(controller)) return false;
    call();
    ControllerDetail::LeaveCallback(controller);
    return true;
}
