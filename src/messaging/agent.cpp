// The exported message agent: one connected socket, its reader and its heartbeat.
#include <memory>
#include <new>

#include "frame/log.h"
#include "messaging/agent.h"
#include "messaging/agent_record.h"

namespace {

constexpr uint32_t kJoinMilliseconds = 3000;

// Starts one of the agent's threads holding its own references; null when it could not start.
std::shared_ptr<Tamber::Thread> StartAgentThread(Tamber::Thread::StartFunction function, VantorMessageAgent* agent,
                                                 const std::shared_ptr<AgentLink>& link) {
    auto* argument = new (std::nothrow) AgentThreadArgument{std::atomic_load(&agent->self), link};
    if (argument == nullptr) return nullptr;
    std::shared_ptr<Tamber::Thread> thread = Tamber::Thread::Create(function, argument);
    if (!thread) delete argument;
    return thread;
}

// A thread that deletes its own agent (from a callback) is not waited for:
// it ends when the callback returns, and its reference frees the record then.
// Either way, and when it outlasts the limit, Vantor_Remove waits for it.
void JoinAgentThread(const std::shared_ptr<Tamber::Thread>& thread, const char* warning) {
    if (!thread) return;
    if (thread->IsCurrent()) {
        thread->Abandon();
    } else if (thread->Join(kJoinMilliseconds) != Tamber::WaitOutcome::kDone) {
        VantorLog_Message(kLogWarning, warning);
        thread->Abandon();
    }
}

}  // namespace

std::shared_ptr<VantorMessageAgent> VantorMessageAgent_Share(VantorMessageAgent* agent) {
    return std::atomic_load(&agent->self);
}

bool VantorMessageAgent_HasEnded(VantorMessageAgent* agent) {
    return agent->running.load() != 1 || agent->connectionEnded.load();
}

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_Create(VantorMessageAgent** out) {
    if (out == nullptr) return 0;
    std::shared_ptr<VantorMessageAgent> agent(new (std::nothrow) VantorMessageAgent());
    if (!agent) return 0;
    agent->self = agent;
    *out = agent.get();
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_Delete(VantorMessageAgent** pointer) {
    if (pointer == nullptr || *pointer == nullptr) return 1;
    VantorMessageAgent* agent = *pointer;
    const std::shared_ptr<AgentLink> link = std::atomic_load(&agent->link);
    if (agent->running.load() == 1) {
        AgentSetFlag(*agent, agent->running, 0);
        link->stop->Wake();
        JoinAgentThread(agent->socketThread, "SocketThread failed to shut down correctly.\n");
        JoinAgentThread(agent->heartbeatThread, "HeartbeatThread failed to shut down correctly.\n");
    } else if (link) {
        // A reader left over from a failed Start.
        link->stop->Wake();
    }
    // Threads that did not end keep the record alive until they do.
    const std::shared_ptr<VantorMessageAgent> owner =
        std::atomic_exchange(&agent->self, std::shared_ptr<VantorMessageAgent>());
    *pointer = nullptr;
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_Start(VantorMessageAgent* agent, VantorSocket socket) {
    if (agent == nullptr) return 0;
    if (agent->running.load() == 1) {
        VantorLog_Message(kLogError, "This MessageAgent is already started.\n");
        return 0;
    }
    // INVALID_SOCKET (-1 on Linux) is no connection either.
    if (socket == 0 || socket == Tamber::kNoSocket) {
        VantorLog_Message(kLogError, "Socket cannot be null.\n");
        return 0;
    }
    uint32_t error = 0;
    const std::shared_ptr<AgentLink> link = AgentLink::Open(socket, &error);
    if (!link) {
        VantorLog_SystemFailure("VantorMessageAgent_Start", kLogError, "Failed to start client socket thread.\n",
                                error);
        return 0;
    }
    std::atomic_store(&agent->link, link);
    agent->connectionEnded.store(false);
    AgentSetFlag(*agent, agent->running, 1);
    agent->socketThread = StartAgentThread(AgentSocketThread, agent, link);
    if (!agent->socketThread) {
        VantorLog_SystemFailure("VantorMessageAgent_Start", kLogError, "Failed to start client socket thread.\n");
        AgentSetFlag(*agent, agent->running, 0);
        return 0;
    }
    agent->heartbeatThread = StartAgentThread(AgentHeartbeatThread, agent, link);
    if (!agent->heartbeatThread) {
        VantorLog_SystemFailure("VantorMessageAgent_Start", kLogError, "Failed to start client heartbeat thread.\n");
        AgentSetFlag(*agent, agent->running, 0);
        link->stop->Wake();
        return 0;
    }
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_SendMessage(VantorMessageAgent* agent, int32_t messageType,
                                                              const char* payload) {
    if (agent == nullptr) return 0;
    // A send that overlaps Delete keeps the record alive until it returns.
    const std::shared_ptr<VantorMessageAgent> keep = std::atomic_load(&agent->self);
    const std::shared_ptr<AgentLink> link = std::atomic_load(&agent->link);
    if (!keep || !link) {
        VantorLog_Message(kLogError, "Cannot send messages when the MessageAgent isn't started.\n");
        return 0;
    }
    return AgentSendMessage(*agent, *link, messageType, payload);
}

VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_SetHeartbeatActive(VantorMessageAgent* agent, int32_t active) {
    if (agent == nullptr) return 0;
    AgentSetFlag(*agent, agent->heartbeatActive, active);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_GetHeartbeatActive(VantorMessageAgent* agent, int32_t* active) {
    if (agent == nullptr || active == nullptr) return 0;
    *active = agent->heartbeatActive.load();
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_GetIsRunning(VantorMessageAgent* agent, int32_t* running) {
    if (agent == nullptr || running == nullptr) return 0;
    *running = agent->running.load();
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_SetMessageArrivedCallback(VantorMessageAgent* agent, void* context,
                                                                            MessageArrivedCallback callback) {
    if (agent == nullptr) return 0;
    agent->callbackContext.store(context);
    agent->callback.store(callback);
    return 1;
}

}  // extern "C"
