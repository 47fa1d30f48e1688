// A plain socket peer on 127.0.0.1 that speaks the wire format by hand, for
// checking exactly what the library puts on the wire, and a callback that
// records what the library delivers.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "TamberLauncher.h"
#include "platform/socket.h"
#include "test_support.h"

namespace TamberTest {

// One message as read off the wire; checks compare it whole, and PrintTo
// shows every field when they fail.
struct WireMessage {
    uint32_t headerSize = 16, version = 1;
    int32_t type = 0, payloadLength = 0;
    std::string payload;
};
inline bool operator==(const WireMessage& a, const WireMessage& b) {
    return std::tie(a.headerSize, a.version, a.type, a.payloadLength, a.payload) ==
           std::tie(b.headerSize, b.version, b.type, b.payloadLength, b.payload);
}
// A payload as failure messages show it: long ones by their start and length.
inline std::string Shown(const std::string& payload) {
    return payload.size() <= 40 ? payload
                                : payload.substr(0, 40) + "... (" + std::to_string(payload.size()) + " bytes)";
}
inline void PrintTo(const WireMessage& m, std::ostream* out) {
    *out << "{" << m.headerSize << ", " << m.version << ", type " << m.type << ", length " << m.payloadLength << ", \""
         << Shown(m.payload) << "\"}";
}
// A message as the library frames it.
inline WireMessage Framed(int32_t type, const std::string& payload = "") {
    return WireMessage{16, 1, type, static_cast<int32_t>(payload.size()), payload};
}

// 16 header bytes with every field chosen by the test.
std::string HeaderBytes(uint32_t headerSize, uint32_t version, int32_t type, int32_t payloadLength);
// The 16 header bytes (little-endian, as the machine lays them out) and the payload.
inline std::string Encode(int32_t type, const std::string& payload = "") {
    return HeaderBytes(16, 1, type, static_cast<int32_t>(payload.size())) + payload;
}
// A port on 127.0.0.1 that was free a moment ago.
uint16_t FreePort();
// Whether a close with a zero linger reaches the peer as a connection reset
// here (Wine 8 delivers an orderly close instead).
bool ResetsAreDelivered();

class RawPeer {
public:
    // Connects to 127.0.0.1:port; Connected() tells whether it worked.
    explicit RawPeer(uint16_t port);
    // Takes an accepted socket.
    explicit RawPeer(Tamber::Socket accepted) : socket_(accepted) {}
    ~RawPeer() { Close(); }
    bool Connected() const { return socket_ != Tamber::kNoSocket; }
    Tamber::Socket Handle() const { return socket_; }
    bool SendBytes(const std::string& bytes) {
        return Connected() && Tamber::SendGather(socket_, bytes.data(), bytes.size(), nullptr, 0);
    }
    bool Send(int32_t type, const std::string& payload = "") { return SendBytes(Encode(type, payload)); }
    // Exactly n bytes within timeoutMs, or nothing.
    std::optional<std::string> ReceiveBytes(std::size_t n, uint32_t timeoutMs = 10000);
    // The next message within timeoutMs, or nothing.
    std::optional<WireMessage> Receive(uint32_t timeoutMs = 10000);
    // The next message that is not a reply or heartbeat.
    std::optional<WireMessage> ReceiveSkippingReplies(uint32_t timeoutMs = 10000);
    // Whether bytes (or the end of the connection) wait within timeoutMs.
    bool Readable(uint32_t timeoutMs) {
        return Connected() && Tamber::WaitReadable(socket_, nullptr, timeoutMs) == Tamber::WaitOutcome::kDone;
    }
    // True when the peer closed the connection (or reset it) within timeoutMs.
    bool WaitForClose(uint32_t timeoutMs = 10000);
    // Closes with a reset instead of an orderly close.
    void Reset() {
        if (Connected()) Tamber::SetResetOnClose(socket_);
        Close();
    }
    void Close() {
        if (Connected()) Tamber::CloseSocket(socket_);
        socket_ = Tamber::kNoSocket;
    }

private:
    Tamber::Socket socket_ = Tamber::kNoSocket;
};

// A listening socket on 127.0.0.1 for tests where the library connects.
class RawListener {
public:
    RawListener();
    ~RawListener() { Tamber::CloseSocket(socket_); }
    uint16_t Port() const { return port_; }
    // The next connection within timeoutMs, or kNoSocket.
    Tamber::Socket Accept(uint32_t timeoutMs = 10000) {
        return Tamber::WaitReadable(socket_, nullptr, timeoutMs) == Tamber::WaitOutcome::kDone
                   ? Tamber::AcceptConnection(socket_)
                   : Tamber::kNoSocket;
    }

private:
    Tamber::Socket socket_ = Tamber::kNoSocket;
    uint16_t port_ = 0;
};

// Two ends of one connection on 127.0.0.1: the near socket for the library,
// the far end for the test. The near end is shut down and closed at the end
// unless closed before, as its owner would.
class LoopbackPair {
    RawListener listener_;

public:
    LoopbackPair() : far(listener_.Port()), near_(listener_.Accept()) {}
    ~LoopbackPair() { CloseNear(); }
    Tamber::Socket Near() const { return near_; }
    void CloseNear() {
        if (near_ == Tamber::kNoSocket) return;
        Tamber::ShutdownSocket(near_);
        Tamber::CloseSocket(near_);
        near_ = Tamber::kNoSocket;
    }
    RawPeer far;

private:
    Tamber::Socket near_;
};

// One delivery to the callback (payload: up to the terminating NUL), compared
// and shown like WireMessage.
struct Delivery {
    int32_t type;
    bool hasPayload;
    std::string payload;
};
inline bool operator==(const Delivery& a, const Delivery& b) {
    return std::tie(a.type, a.hasPayload, a.payload) == std::tie(b.type, b.hasPayload, b.payload);
}
inline void PrintTo(const Delivery& d, std::ostream* out) {
    *out << "{type " << d.type << (d.hasPayload ? ", \"" + Shown(d.payload) + "\"}" : ", no payload}");
}

// A MessageArrivedCallback context that records every delivery; an optional
// hook runs inside the callback first.
class Recorder {
public:
    static int32_t VANTOR_CALL Callback(void* context, int32_t type, const char* payload);
    void SetHook(std::function<void(int32_t type, const char* payload)> hook) {
        std::lock_guard<std::mutex> guard(lock_);
        hook_ = std::move(hook);
    }
    // Waits until at least count deliveries arrived.
    bool WaitFor(std::size_t count, uint32_t timeoutMs = 10000) {
        return WaitUntil([&] { return Deliveries().size() >= count; }, std::chrono::milliseconds(timeoutMs));
    }
    std::vector<Delivery> Deliveries() {
        std::lock_guard<std::mutex> guard(lock_);
        return deliveries_;
    }

private:
    std::mutex lock_;
    std::vector<Delivery> deliveries_;
    std::function<void(int32_t, const char*)> hook_;
};

}  // namespace TamberTest
