#include "raw_peer.h"

#include <chrono>
#include <cstring>

namespace TamberTest {

std::string Encode(int32_t type, const std::string& payload) {
    const uint32_t header[4] = {16u, 1u, static_cast<uint32_t>(type), static_cast<uint32_t>(payload.size())};
    std::string bytes(reinterpret_cast<const char*>(header), sizeof header);
    return bytes + payload;
}

uint16_t FreePort() {
    Tamber::Socket probe = Tamber::OpenStreamSocket();
    Tamber::BindLoopback(probe, 0);
    const uint16_t port = Tamber::LocalPort(probe);
    Tamber::CloseSocket(probe);
    return port;
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

bool RawPeer::ReadExactly(char* buffer, std::size_t length, uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t received = 0;
    while (received < length) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (Tamber::WaitReadable(socket_, nullptr, static_cast<uint32_t>(left.count())) != Tamber::WaitResult::kReadable)
            return false;
        const long count = Tamber::ReceiveSome(socket_, buffer + received, length - received);
        if (count <= 0) return false;
        received += static_cast<std::size_t>(count);
    }
    return true;
}

std::optional<WireMessage> RawPeer::Receive(uint32_t timeoutMs) {
    if (!Connected()) return std::nullopt;
    uint32_t header[4];
    if (!ReadExactly(reinterpret_cast<char*>(header), sizeof header, timeoutMs)) return std::nullopt;
    WireMessage message;
    message.headerSize = header[0];
    message.version = header[1];
    message.type = static_cast<int32_t>(header[2]);
    message.payloadLength = static_cast<int32_t>(header[3]);
    if (message.payloadLength > 0) {
        message.payload.resize(static_cast<std::size_t>(message.payloadLength));
        if (!ReadExactly(&message.payload[0], message.payload.size(), timeoutMs)) return std::nullopt;
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
        if (Tamber::WaitReadable(socket_, nullptr, 50) != Tamber::WaitResult::kReadable) continue;
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
    if (Tamber::WaitReadable(socket_, nullptr, timeoutMs) != Tamber::WaitResult::kReadable) return Tamber::kNoSocket;
    return Tamber::AcceptConnection(socket_);
}

}  // namespace TamberTest
