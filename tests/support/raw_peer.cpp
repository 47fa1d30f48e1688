#include "raw_peer.h"

#include <chrono>
#include <cstring>

namespace TamberTest {

std::string HeaderBytes(uint32_t headerSize, uint32_t version, int32_t type, int32_t payloadLength) {
    const uint32_t fields[4] = {headerSize, version, static_cast<uint32_t>(type), static_cast<uint32_t>(payloadLength)};
    return std::string(reinterpret_cast<const char*>(fields), sizeof fields);
}

std::string Encode(int32_t type, const std::string& payload) {
    return HeaderBytes(16, 1, type, static_cast<int32_t>(payload.size())) + payload;
}

uint16_t FreePort() {
    Tamber::Socket probe = Tamber::OpenStreamSocket();
    Tamber::BindLoopback(probe, 0);
    const uint16_t port = Tamber::LocalPort(probe);
    Tamber::CloseSocket(probe);
    return port;
}

bool ResetsAreDelivered() {
    LoopbackPair probe;
    probe.far.Reset();
    char byte;
    if (Tamber::WaitReadable(probe.Near(), nullptr, 10000) != Tamber::WaitOutcome::kDone) return false;
    return Tamber::ReceiveSome(probe.Near(), &byte, 1) < 0 && Tamber::IsConnectionReset(Tamber::LastSocketError());
}

RawPeer::RawPeer(uint16_t port) : socket_(Tamber::OpenStreamSocket()) {
    if (socket_ != Tamber::kNoSocket && !Tamber::ConnectLoopback(socket_, port)) {
        Tamber::CloseSocket(socket_);
        socket_ = Tamber::kNoSocket;
    }
    if (socket_ != Tamber::kNoSocket) Tamber::SetNoDelay(socket_);
}

RawPeer::~RawPeer() { Close(); }

void RawPeer::Close() {
    if (socket_ == Tamber::kNoSocket) return;
    Tamber::CloseSocket(socket_);
    socket_ = Tamber::kNoSocket;
}

void RawPeer::Reset() {
    if (socket_ != Tamber::kNoSocket) Tamber::SetResetOnClose(socket_);
    Close();
}

bool RawPeer::SendBytes(const std::string& bytes) {
    return Connected() && Tamber::SendGather(socket_, bytes.data(), bytes.size(), nullptr, 0);
}

bool RawPeer::Readable(uint32_t timeoutMs) {
    return Connected() && Tamber::WaitReadable(socket_, nullptr, timeoutMs) == Tamber::WaitOutcome::kDone;
}

std::optional<std::string> RawPeer::ReceiveBytes(std::size_t n, uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string bytes(n, '\0');
    std::size_t received = 0;
    while (received < n) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !Readable(static_cast<uint32_t>(left))) return std::nullopt;
        const long count = Tamber::ReceiveSome(socket_, &bytes[received], n - received);
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
    if (message.payloadLength > 0) {
        const auto payload = ReceiveBytes(static_cast<std::size_t>(message.payloadLength), timeoutMs);
        if (!payload) return std::nullopt;
        message.payload = *payload;
    }
    return message;
}

std::optional<WireMessage> RawPeer::ReceiveSkippingReplies(uint32_t timeoutMs) {
    for (;;) {
        auto message = Receive(timeoutMs);
        if (!message || (message->type != 4 && message->type != 5)) return message;
    }
}

bool RawPeer::WaitForClose(uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char sink[256];
    while (std::chrono::steady_clock::now() < deadline) {
        if (!Readable(50)) continue;
        if (Tamber::ReceiveSome(socket_, sink, sizeof sink) <= 0) return true;
    }
    return false;
}

RawListener::RawListener() : socket_(Tamber::OpenStreamSocket()) {
    Tamber::SetReuseAddress(socket_);
    Tamber::BindLoopback(socket_, 0);
    Tamber::ListenForConnections(socket_);
    port_ = Tamber::LocalPort(socket_);
}

RawListener::~RawListener() { Tamber::CloseSocket(socket_); }

Tamber::Socket RawListener::Accept(uint32_t timeoutMs) {
    if (Tamber::WaitReadable(socket_, nullptr, timeoutMs) != Tamber::WaitOutcome::kDone) return Tamber::kNoSocket;
    return Tamber::AcceptConnection(socket_);
}

void LoopbackPair::CloseNear() {
    if (near_ == Tamber::kNoSocket) return;
    Tamber::ShutdownSocket(near_);
    Tamber::CloseSocket(near_);
    near_ = Tamber::kNoSocket;
}

int32_t VANTOR_CALL Recorder::Callback(void* context, int32_t type, const char* payload) {
    auto* recorder = static_cast<Recorder*>(context);
    std::function<void(int32_t, const char*)> hook;
    {
        std::lock_guard<std::mutex> guard(recorder->lock_);
        hook = recorder->hook_;
    }
    if (hook) hook(type, payload);
    std::lock_guard<std::mutex> guard(recorder->lock_);
    // strlen finds the terminator that the agent must have put after the payload.
    recorder->deliveries_.push_back(Delivery{type, payload != nullptr, payload ? std::string(payload, std::strlen(payload)) : ""});
    recorder->arrived_.notify_all();
    return 0;
}

void Recorder::SetHook(std::function<void(int32_t, const char*)> hook) {
    std::lock_guard<std::mutex> guard(lock_);
    hook_ = std::move(hook);
}

bool Recorder::WaitFor(std::size_t count, uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(lock_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return deliveries_.size() >= count; });
}

std::vector<Delivery> Recorder::Deliveries() {
    std::lock_guard<std::mutex> guard(lock_);
    return deliveries_;
}

std::size_t Recorder::CountOf(int32_t type) {
    std::lock_guard<std::mutex> guard(lock_);
    std::size_t count = 0;
    for (const Delivery& delivery : deliveries_) count += delivery.type == type ? 1 : 0;
    return count;
}

}  // namespace TamberTest
