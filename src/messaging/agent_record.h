// The message agent's record and the parts that its exports and its two
// threads share. Internal to the agent's own files.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "TamberLauncher.h"
#include "messaging/message_reader.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "platform/thread.h"

// The agent's own hold on a connection, made at Start: a duplicate of the
// owner's socket, so that the agent never touches a handle that its owner may
// close and the system may hand out again, and the wake-up that Delete uses to
// end the socket thread's wait whether or not the owner closed its socket.
struct AgentLink {
    // Null when the link or its wake-up cannot be made, with *error telling why.
    // A socket that cannot be duplicated still gives a link, whose reads and
    // writes fail.
    static std::shared_ptr<AgentLink> Open(Tamber::Socket ownerSocket, uint32_t* error);
    ~AgentLink();
    AgentLink(const AgentLink&) = delete;
    AgentLink& operator=(const AgentLink&) = delete;

    Tamber::Socket connection = Tamber::kNoSocket;  // owned
    // Why the duplicate could not be made; reads and writes fail with it.
    uint32_t duplicateError = 0;
    std::unique_ptr<Tamber::Waker> stop;

private:
    AgentLink() = default;
};

// Owned through `self` by the host, and by each running thread through its
// own reference, so that Delete never frees what a thread still uses.
struct VantorMessageAgent {
    std::shared_ptr<VantorMessageAgent> self;  // the owner's reference (std::atomic_load/exchange); Delete drops it
    std::shared_ptr<Tamber::Thread> socketThread;
    std::shared_ptr<Tamber::Thread> heartbeatThread;
    std::shared_ptr<Tamber::Mutex> sendLock = Tamber::Mutex::Create();
    std::shared_ptr<AgentLink> link;  // std::atomic_load/store: read by every sender
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> heartbeatActive{1};
    std::atomic<uint32_t> lastHeartbeatSeconds{0};
    std::atomic<void*> callbackContext{nullptr};
    std::atomic<MessageArrivedCallback> callback{nullptr};
    std::atomic<bool> connectionEnded{false};
    // The heartbeat thread sleeps here; changes of running and heartbeatActive wake it.
    Tamber::ClockWaiter heartbeatWake;
};

// What a thread of the agent holds while it runs.
struct AgentThreadArgument {
    std::shared_ptr<VantorMessageAgent> agent;
    std::shared_ptr<AgentLink> link;
};

constexpr uint32_t kSendStallMilliseconds = 10000;

// Sends one message under the send lock; the body of SendMessage, the reply
// and the heartbeat. Logs "SendMessage" unless the type is never logged. A
// send waits for room beside the link's wake-up; one that makes no progress
// for kSendStallMilliseconds fails and shuts the connection down.
int32_t AgentSendMessage(VantorMessageAgent& agent, AgentLink& link, int32_t type, const char* payload);

// What the socket thread has received but not yet parsed. One receive takes
// whatever has arrived, so a burst of messages costs one wait and one receive
// rather than two of each per message. Messages still leave it one at a
// time, each answered before it is delivered.
struct ReceiveBuffer {
    static constexpr std::size_t kSize = 4096;
    std::size_t begin = 0;
    std::size_t end = 0;
    char bytes[kSize];
};

// The agent's connection as a source of bytes: first what has been received
// already, then receives that also end when Delete wakes the link.
class LinkSource : public ByteSource {
public:
    explicit LinkSource(AgentLink& link) : link_(link) {}
    ReadOutcome ReadExactly(void* buffer, std::size_t length) override;

private:
    AgentLink& link_;
    ReceiveBuffer pending_;
};

// Stores a value of running or heartbeatActive and wakes the heartbeat thread.
void AgentSetFlag(VantorMessageAgent& agent, std::atomic<int32_t>& flag, int32_t value);

uint32_t AgentSocketThread(void* argument);
uint32_t AgentHeartbeatThread(void* argument);
