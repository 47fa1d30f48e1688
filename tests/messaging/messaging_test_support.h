// Helpers of the messaging tests: a connected loopback pair, raw bytes on
// its far end, and a callback that records what an agent delivers.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "TamberLauncher.h"
#include "platform/socket.h"
#include "raw_peer.h"

namespace TamberTest {

// 16 header bytes with every field chosen by the test.
std::string HeaderBytes(uint32_t headerSize, uint32_t version, int32_t type, int32_t payloadLength);

// A socket connected to 127.0.0.1 at port with TCP_NODELAY, or kNoSocket.
Tamber::Socket ConnectTo(uint16_t port);
bool SendBytes(Tamber::Socket socket, const std::string& bytes);
// Exactly n bytes within timeoutMs, or nothing.
std::optional<std::string> ReadBytes(Tamber::Socket socket, std::size_t n, uint32_t timeoutMs = 10000);
// Whether bytes (or the end of the connection) wait within timeoutMs.
bool Readable(Tamber::Socket socket, uint32_t timeoutMs);
// True when the peer ends the connection within timeoutMs; data before the end is skipped.
bool WaitForEnd(Tamber::Socket socket, uint32_t timeoutMs = 10000);

// Whether a close with a zero linger reaches the peer as a connection reset
// here (Wine 8 delivers an orderly close instead).
bool ResetsAreDelivered();

// The next whole message: header fields and payload.
std::optional<WireMessage> ReadMessage(Tamber::Socket socket, uint32_t timeoutMs = 10000);

// Sockets that the test made, closed at the end.
class SocketSet {
public:
    SocketSet() = default;
    ~SocketSet();
    SocketSet(const SocketSet&) = delete;
    SocketSet& operator=(const SocketSet&) = delete;
    Tamber::Socket Add(Tamber::Socket socket);

private:
    std::vector<Tamber::Socket> sockets_;
};

// Two ends of one TCP connection on 127.0.0.1: `near` for the library, `far`
// for the test. Both closed at the end unless taken.
class LoopbackPair {
public:
    LoopbackPair();
    ~LoopbackPair();
    LoopbackPair(const LoopbackPair&) = delete;
    LoopbackPair& operator=(const LoopbackPair&) = delete;

    Tamber::Socket Near() const { return near_; }
    Tamber::Socket Far() const { return far_; }
    // The owner's close of the near end: shut down, then closed.
    void CloseNear();
    void CloseFar();
    // Leaves the near end open at the end: the test closes it itself.
    Tamber::Socket TakeNear();

    bool SendFar(const std::string& bytes) { return SendBytes(far_, bytes); }
    std::optional<std::string> ReadFar(std::size_t n, uint32_t timeoutMs = 10000) {
        return ReadBytes(far_, n, timeoutMs);
    }
    bool FarReadable(uint32_t timeoutMs) { return Readable(far_, timeoutMs); }

private:
    Tamber::Socket near_ = Tamber::kNoSocket;
    Tamber::Socket far_ = Tamber::kNoSocket;
};

struct Delivery {
    int32_t type;
    bool hasPayload;
    std::string payload;  // up to the terminating NUL
};

// A MessageArrivedCallback context that records every delivery; an optional
// hook runs inside the callback first.
class Recorder {
public:
    static int32_t VANTOR_CALL Callback(void* context, int32_t type, const char* payload);
    void SetHook(std::function<void(int32_t type, const char* payload)> hook);
    // Waits until at least count deliveries arrived.
    bool WaitFor(std::size_t count, uint32_t timeoutMs = 10000);
    std::vector<Delivery> Deliveries();
    std::size_t CountOf(int32_t type);

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<Delivery> deliveries_;
    std::function<void(int32_t, const char*)> hook_;
};

}  // namespace TamberTest
