// The controller's lifetime: steps, the callback turn and the exclusion of
// Remove and Init (the model is described in controller.h).
#include <memory>

#include "frame/log.h"
#include "launcher/controller.h"
#include "platform/exclusion.h"
#include "platform/thread.h"

namespace {

ControllerPtr g_controller;

// The calling thread's innermost step, and how deep it is in host callbacks.
thread_local Step* t_innerStep = nullptr;
thread_local int t_callbackDepth = 0;

Tamber::TeardownExclusion g_teardown;

}  // namespace

ControllerPtr CurrentController() { return std::atomic_load(&g_controller); }

void PublishController(const ControllerPtr& controller) { std::atomic_store(&g_controller, controller); }

void UnpublishController(const ControllerPtr& expected) {
    ControllerPtr current = expected;
    std::atomic_compare_exchange_strong(&g_controller, &current, ControllerPtr());
}

Step::Step(Missing missing) {
    Enter(CurrentController());
    if (!controller_ && missing == Missing::kLog) VantorLog_RequireRecord(controller_, "VantorServerControllerStruct");
}

Step::Step(void* context) {
    ControllerPtr controller = CurrentController();
    if (controller && controller->generation == reinterpret_cast<uintptr_t>(context)) Enter(std::move(controller));
}

Step::Step(const ControllerPtr& controller) { Enter(controller); }

void Step::Enter(ControllerPtr controller) {
    if (!controller) return;
    {
        std::lock_guard<std::mutex> guard(controller->lifeLock);
        if (controller->removing) return;
        ++controller->steps;
    }
    controller_ = std::move(controller);
    outer_ = t_innerStep;
    t_innerStep = this;
    scope_ = std::make_unique<Tamber::InterruptScope>(&controller_->interrupt);
}

Step::~Step() {
    if (!controller_) return;
    scope_.reset();
    t_innerStep = outer_;
    {
        std::lock_guard<std::mutex> guard(controller_->lifeLock);
        --controller_->steps;
    }
    controller_->lifeChanged.notify_all();
}

int Step::HeldOn(const VantorServerControllerStruct& controller) {
    int held = 0;
    for (const Step* step = t_innerStep; step != nullptr; step = step->outer_)
        if (step->controller_.get() == &controller) ++held;
    return held;
}

bool IsRemoving(VantorServerControllerStruct& controller) { return controller.interrupt.IsRaised(); }

bool InsideCallback() { return t_callbackDepth > 0; }

namespace ControllerDetail {

bool EnterCallback(VantorServerControllerStruct& controller) {
    const uint32_t self = Tamber::CurrentThreadId();
    std::unique_lock<std::mutex> lock(controller.lifeLock);
    // A thread already inside a callback runs a nested one at once.
    if (controller.callbackOwner != self)
        controller.lifeChanged.wait(lock, [&] { return controller.callbackOwner == 0 || controller.removing; });
    if (controller.removing) return false;
    controller.callbackOwner = self;
    ++controller.callbackDepth;
    ++t_callbackDepth;
    return true;
}

void LeaveCallback(VantorServerControllerStruct& controller) {
    {
        std::lock_guard<std::mutex> guard(controller.lifeLock);
        --t_callbackDepth;
        if (--controller.callbackDepth == 0) controller.callbackOwner = 0;
    }
    controller.lifeChanged.notify_all();
    if (t_callbackDepth == 0) g_teardown.CallbacksLeft();
}

}  // namespace ControllerDetail

bool BeginTeardown() { return g_teardown.Enter(InsideCallback()); }

void EndTeardown() { g_teardown.Leave(InsideCallback()); }
