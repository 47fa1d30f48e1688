// One message each way on an agent's connection.
#include <cstring>
#include <limits>

#include "frame/log.h"
#include "messaging/agent_record.h"
#include "messaging/wire.h"
#include "platform/clock.h"

namespace {

// Header and payload leave in one gather write; false after logging the failure.
bool VantorMessageAgent_WriteToSocketInternal(AgentLink& link, const MessageHeader& header, const char* payload,
                                              std::size_t payloadLength) {
    Tamber::WaitOutcome result = Tamber::WaitOutcome::kFailed;
    uint32_t error = link.duplicateError;
    if (link.connection != Tamber::kNoSocket) {
        result = Tamber::SendGatherWaiting(link.connection, &header, sizeof header, payload, payloadLength,
                                           link.stop.get(), Tamber::PauseLimit(kSendStallMilliseconds), &error);
        if (result == Tamber::WaitOutcome::kDone) return true;
    }
    VantorLog_SystemFailure("VantorMessageAgent_WriteToSocketInternal", kLogWarning, "Failed to send to socket.\n",
                            error);
    // A peer that takes nothing for that long has a message cut in two on
    // its way: the stream cannot go on.
    if (result == Tamber::WaitOutcome::kTimedOut) Tamber::ShutdownSocket(link.connection);
    return false;
}

// error: why the receive failed. An orderly close (closed) has no error of its
// own: its line shows the thread's last error, as it always has.
ReadOutcome ReadFailed(bool closed, uint32_t error) {
    const bool reset = !closed && Tamber::IsConnectionReset(error);
    VantorLog_SystemFailure("VantorMessageAgent_ReadFromSocketInternal", kLogWarning,
                            reset ? "Failed to read from Vantor socket buffer (this may indicate that the other "
                                    "side of the connection has closed).\n"
                                  : "Received 0 bytes on Vantor socket when data was expected.\n",
                            closed ? Tamber::LastSystemError() : error);
    return ReadOutcome::kFailed;
}

// Waits for the connection, then receives up to length bytes into buffer and
// adds their count to received.
ReadOutcome ReceiveInto(AgentLink& link, char* buffer, std::size_t length, std::size_t& received) {
    uint32_t error = 0;
    switch (Tamber::WaitReadable(link.connection, link.stop.get(), Tamber::kWaitForever, &error)) {
        case Tamber::WaitOutcome::kWoken:
            return ReadOutcome::kStopped;
        case Tamber::WaitOutcome::kFailed:
            return ReadFailed(false, error);
        default:
            break;
    }
    const long count = Tamber::ReceiveSome(link.connection, buffer, length, &error);
    if (count <= 0) return ReadFailed(count == 0, error);
    received += static_cast<std::size_t>(count);
    return ReadOutcome::kDone;
}

ReadOutcome Refill(AgentLink& link, ReceiveBuffer& pending) {
    pending.begin = 0;
    pending.end = 0;
    return ReceiveInto(link, pending.bytes, ReceiveBuffer::kSize, pending.end);
}

}  // namespace

int32_t AgentSendMessage(VantorMessageAgent& agent, AgentLink& link, int32_t type, const char* payload) {
    const std::size_t length = payload ? std::strlen(payload) : 0;
    if (agent.running.load() != 1) {
        VantorLog_Message(kLogError, "Cannot send messages when the MessageAgent isn't started.\n");
        return 0;
    }
    if (length > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        VantorLog_Message(kLogWarning, "Message payload is too long for its length field.\n");
        return 0;
    }
    const MessageHeader header = MakeMessageHeader(type, static_cast<int32_t>(length));
    {
        Tamber::ScopedLock guard(agent.sendLock);
        if (!VantorMessageAgent_WriteToSocketInternal(link, header, payload, length)) return 0;
    }
    LogMessageType("SendMessage [%s]\n", type);
    return 1;
}

ReadOutcome LinkSource::ReadExactly(void* buffer, std::size_t length) {
    AgentLink& link = link_;
    ReceiveBuffer& pending = pending_;
    if (link.connection == Tamber::kNoSocket)
        return length == 0 ? ReadOutcome::kDone : ReadFailed(false, link.duplicateError);
    char* bytes = static_cast<char*>(buffer);
    std::size_t received = 0;
    while (received < length) {
        const std::size_t held = pending.end - pending.begin;
        if (held > 0) {
            const std::size_t taken = held < length - received ? held : length - received;
            std::memcpy(bytes + received, pending.bytes + pending.begin, taken);
            pending.begin += taken;
            received += taken;
            continue;
        }
        // A large payload goes straight to its own buffer.
        const bool direct = length - received >= ReceiveBuffer::kSize;
        const ReadOutcome outcome =
            direct ? ReceiveInto(link, bytes + received, length - received, received) : Refill(link, pending);
        if (outcome != ReadOutcome::kDone) return outcome;
    }
    return ReadOutcome::kDone;
}
