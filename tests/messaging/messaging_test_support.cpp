#include "messaging_test_support.h"

#include <chrono>
#include <cstring>

#include <gtest/gtest.h>

namespace TamberTest {

std::string HeaderBytes(uint32_t headerSize, uint32_t version, int32_t type, int32_t payloadLength) {
    const uint32_t fields[4] = {headerSize, version, static_cast<uint32_t>(type), static_cast<uint32_t>(payloadLength)};
    return std::string(reinterpret_cast<const char*>(fields), sizeof fields);
}

Tamber::Socket ConnectTo(uint16_t port) {
    Tamber::Socket socket = Tamber::OpenStreamSocket();
    if (socket != Tamber::kNoSocket && !Tamber::ConnectLoopback(socket, port)) {
        Tamber::CloseSocket(socket);
        return Tamber::kNoSocket;
    }
    Tamber::SetNoDelay(socket);
    return socket;
}

bool SendBytes(Tamber::Socket socket, const std::string& bytes) {
    return Tamber::SendGather(socket, bytes.data(), bytes.size(), nullptr, 0);
}

bool Readable(Tamber::Socket socket, uint32_t timeoutMs) {
    return Tamber::WaitReadable(socket, nullptr, timeoutMs) == Tamber::WaitResult::kReadable;
}

std::optional<std::string> ReadBytes(Tamber::Socket socket, std::size_t n, uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string bytes(n, '\0');
    std::size_t received = 0;
    while (received < n) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !Readable(socket, static_cast<uint32_t>(left))) return std::nullopt;
        const long count = Tamber::ReceiveSome(socket, &bytes[received], n - received);
        if (count <= 0) return std::nullopt;
        received += static_cast<std::size_t>(count);
    }
    return bytes;
}

bool WaitForEnd(Tamber::Socket socket, uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char sink[256];
    while (std::chrono::steady_clock::now() < deadline) {
        if (!Readable(socket, 50)) continue;
        if (Tamber::ReceiveSome(socket, sink, sizeof sink) <= 0) return true;
    }
    return false;
}

std::optional<WireMessage> ReadMessage(Tamber::Socket socket, uint32_t timeoutMs) {
    const auto header = ReadBytes(socket, 16, timeoutMs);
    if (!header) return std::nullopt;
    WireMessage message{};
    std::memcpy(&message.headerSize, header->data(), 4);
    std::memcpy(&message.version, header->data() + 4, 4);
    std::memcpy(&message.type, header->data() + 8, 4);
    std::memcpy(&message.payloadLength, header->data() + 12, 4);
    if (message.payloadLength > 0) {
        const auto payload = ReadBytes(socket, static_cast<std::size_t>(message.payloadLength), timeoutMs);
        if (!payload) return std::nullopt;
        message.payload = *payload;
    }
    return message;
}

bool ResetsAreDelivered() {
    LoopbackPair probe;
    Tamber::SetResetOnClose(probe.Far());
    probe.CloseFar();
    char byte;
    if (!Readable(probe.Near(), 10000)) return false;
    return Tamber::ReceiveSome(probe.Near(), &byte, 1) < 0 && Tamber::IsConnectionReset(Tamber::LastSocketError());
}

SocketSet::~SocketSet() {
    for (Tamber::Socket socket : sockets_) Tamber::CloseSocket(socket);
}

Tamber::Socket SocketSet::Add(Tamber::Socket socket) {
    if (socket != Tamber::kNoSocket) sockets_.push_back(socket);
    return socket;
}

LoopbackPair::LoopbackPair() {
    const Tamber::Socket listening = Tamber::OpenStreamSocket();
    Tamber::BindLoopback(listening, 0);
    Tamber::ListenForConnections(listening);
    far_ = ConnectTo(Tamber::LocalPort(listening));
    if (Tamber::WaitReadable(listening, nullptr, 10000) == Tamber::WaitResult::kReadable)
        near_ = Tamber::AcceptConnection(listening);
    Tamber::CloseSocket(listening);
}

LoopbackPair::~LoopbackPair() {
    CloseNear();
    CloseFar();
}

void LoopbackPair::CloseNear() {
    if (near_ == Tamber::kNoSocket) return;
    Tamber::ShutdownSocket(near_);
    Tamber::CloseSocket(near_);
    near_ = Tamber::kNoSocket;
}

void LoopbackPair::CloseFar() {
    if (far_ == Tamber::kNoSocket) return;
    Tamber::CloseSocket(far_);
    far_ = Tamber::kNoSocket;
}

Tamber::Socket LoopbackPair::TakeNear() {
    const Tamber::Socket taken = near_;
    near_ = Tamber::kNoSocket;
    return taken;
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

namespace {

// Windows needs the socket library started before any socket is made; starts nest.
class SocketLibrary : public testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(Tamber::StartSocketLibrary(), 0); }
    void TearDown() override { Tamber::StopSocketLibrary(); }
};

const testing::Environment* const g_socketLibrary = testing::AddGlobalTestEnvironment(new SocketLibrary);

}  // namespace
