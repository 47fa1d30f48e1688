#include "raw_peer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace TamberTest {

std::string HeaderBytes(uint32_t headerSize, uint32_t version, int32_t type, int32_t payloadLength) {
    const uint32_t fields[4] = {headerSize, version, static_cast<uint32_t>(type), static_cast<uint32_t>(payloadLength)};
    return std::string(reinterpret_cast<const char*>(fields), sizeof fields);
}

uint16_t FreePort() { return RawListener().Port(); }

bool ResetsAreDelivered() {
    LoopbackPair probe;
    probe.far.Reset();
    char byte;
    return Tamber::WaitReadable(probe.Near(), nullptr, 10000) == Tamber::WaitOutcome::kDone &&
           Tamber::ReceiveSome(probe.Near(), &byte, 1) < 0 && Tamber::IsConnectionReset(Tamber::LastSocketError());
}

RawPeer::RawPeer(uint16_t port) : socket_(Tamber::OpenStreamSocket()) {
    if (Connected() && !Tamber::ConnectLoopback(socket_, port)) Close();
    if (Connected()) Tamber::SetNoDelay(socket_);
}

std::optional<std::string> RawPeer::ReceiveBytes(std::size_t n, uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string bytes(n, '\0');
    for (std::size_t received = 0; received < n;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        const long count = left > 0 && Readable(static_cast<uint32_t>(left))
                               ? Tamber::ReceiveSome(socket_, &bytes[received], n - received)
                               : 0;
        if (count <= 0) return std::nullopt;
        received += static_cast<std::size_t>(count);
    }
    return bytes;
}

std::optional<WireMessage> RawPeer::Receive(uint32_t timeoutMs) {
    const auto header = ReceiveBytes(16, timeoutMs);
    if (!header) return std::nullopt;
    uint32_t fields[4];
    std::memcpy(fields, header->data(), sizeof fields);
    WireMessage message{fields[0], fields[1], static_cast<int32_t>(fields[2]), static_cast<int32_t>(fields[3]), {}};
    const auto payload = ReceiveBytes(static_cast<std::size_t>(std::max(message.payloadLength, 0)), timeoutMs);
    if (!payload) return std::nullopt;
    message.payload = *payload;
    return message;
}

std::optional<WireMessage> RawPeer::ReceiveSkippingReplies(uint32_t timeoutMs) {
    for (;;) {
        auto message = Receive(timeoutMs);
        if (!message || (message->type != VANTORMESSAGETYPE_HEARTBEAT && message->type != VANTORMESSAGETYPE_REPLY))
            return message;
    }
}

bool RawPeer::WaitForClose(uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char sink[256];
    while (std::chrono::steady_clock::now() < deadline)
        if (Readable(50) && Tamber::ReceiveSome(socket_, sink, sizeof sink) <= 0) return true;
    return false;
}

RawListener::RawListener() : socket_(Tamber::OpenStreamSocket()) {
    Tamber::SetReuseAddress(socket_);
    Tamber::BindLoopback(socket_, 0);
    Tamber::ListenForConnections(socket_);
    port_ = Tamber::LocalPort(socket_);
}

int32_t VANTOR_CALL Recorder::Callback(void* context, int32_t type, const char* payload) {
    auto* recorder = static_cast<Recorder*>(context);
    const auto hook = [&] {
        std::lock_guard<std::mutex> guard(recorder->lock_);
        return recorder->hook_;
    }();
    if (hook) hook(type, payload);
    std::lock_guard<std::mutex> guard(recorder->lock_);
    // strlen finds the terminator that the agent must have put after the payload.
    recorder->deliveries_.push_back(
        Delivery{type, payload != nullptr, payload ? std::string(payload, std::strlen(payload)) : ""});
    return 0;
}

}  // namespace TamberTest
