// The agent's two threads: the reader that answers and delivers, and the
// heartbeat sender.
#include <memory>
#include <mutex>

#include "frame/log.h"
#include "messaging/agent_record.h"
#include "messaging/wire.h"

namespace {

void Deliver(VantorMessageAgent& agent, AgentLink& link, int32_t type, char* payload) {
    if (agent.running.load() != 1) return;
    // The reply leaves before the owner hears of the message.
    if (IsAnswered(type)) AgentSendMessage(agent, link, VANTORMESSAGETYPE_REPLY, nullptr);
    const MessageArrivedCallback callback = agent.callback.load();
    if (callback == nullptr) {
        VantorLog_Message(kLogWarning, "Message arived, but there is no MessageArrivedCallback.\n");
        return;
    }
    LogMessageType("ReceiveMessage [%s]\n", type);
    callback(agent.callbackContext.load(), type, payload);
}

// Real milliseconds until lastSeconds + 25 whole seconds of the clock, found
// again after each wake: the clock may wrap or be moved by a test meanwhile.
uint32_t MillisecondsUntilDue(uint32_t lastSeconds) {
    const uint32_t ticks = Tamber::GetTickMilliseconds();
    const uint32_t age = Tamber::SecondsBetween(lastSeconds, ticks / 1000u);
    if (age >= kHeartbeatSeconds) return 0;
    uint32_t toNextSecond = 1000u - ticks % 1000u;
    // The last whole second before the wrap is short.
    const uint32_t toWrap = 0u - ticks;
    if (toWrap != 0 && toWrap < toNextSecond) toNextSecond = toWrap;
    return toNextSecond + (kHeartbeatSeconds - 1u - age) * 1000u;
}

}  // namespace

void AgentSetFlag(VantorMessageAgent& agent, std::atomic<int32_t>& flag, int32_t value) {
    std::lock_guard<std::mutex> guard(agent.heartbeatWake.Lock());
    flag.store(value);
    agent.heartbeatWake.Notify();
}

uint32_t AgentSocketThread(void* argument) {
    const std::unique_ptr<AgentThreadArgument> held(static_cast<AgentThreadArgument*>(argument));
    VantorMessageAgent& agent = *held->agent;
    AgentLink& link = *held->link;
    LinkSource source(link);
    while (agent.running.load() == 1) {
        int32_t type = 0;
        std::unique_ptr<char[]> payload;
        if (ReadMessage(source, type, payload) != ReadOutcome::kDone) break;
        Deliver(agent, link, type, payload.get());
    }
    // A thread left over from a failed Start must not mark a later connection as ended.
    if (std::atomic_load(&agent.link) == held->link) {
        agent.connectionEnded.store(true);
        AgentSetFlag(agent, agent.heartbeatActive, 0);
    }
    return 0;
}

uint32_t AgentHeartbeatThread(void* argument) {
    const std::unique_ptr<AgentThreadArgument> held(static_cast<AgentThreadArgument*>(argument));
    VantorMessageAgent& agent = *held->agent;
    uint32_t lastSeconds = Tamber::GetElapsedSeconds();
    agent.lastHeartbeatSeconds.store(lastSeconds);
    const auto stopped = [&agent] { return agent.running.load() != 1; };
    std::unique_lock<std::mutex> lock(agent.heartbeatWake.Lock());
    while (agent.running.load() == 1) {
        // While heartbeats are off the time of the last attempt stays, so one
        // leaves at once on reactivation when it is due.
        if (agent.heartbeatActive.load() != 1) {
            agent.heartbeatWake.WaitFor(lock, Tamber::kWaitForever, stopped);
            continue;
        }
        const uint32_t nowSeconds = Tamber::GetElapsedSeconds();
        if (Tamber::SecondsBetween(lastSeconds, nowSeconds) < kHeartbeatSeconds) {
            agent.heartbeatWake.WaitFor(lock, MillisecondsUntilDue(lastSeconds), stopped);
            continue;
        }
        lock.unlock();
        AgentSendMessage(agent, *held->link, VANTORMESSAGETYPE_HEARTBEAT, nullptr);
        lock.lock();
        lastSeconds = nowSeconds;
        agent.lastHeartbeatSeconds.store(nowSeconds);
    }
    return 0;
}
