// A plain socket peer on 127.0.0.1 that speaks the wire format by hand, for
// checking exactly what the library puts on the wire.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/socket.h"

namespace TamberTest {

struct WireMessage {
    uint32_t headerSize = 16;
    uint32_t version = 1;
    int32_t type = 0;
    int32_t payloadLength = 0;
    std::string payload;
};

// The 16 header bytes (little-endian, as the machine lays them out) and the payload.
std::string Encode(int32_t type, const std::string& payload = "");

// A port on 127.0.0.1 that was free a moment ago.
uint16_t FreePort();

class RawPeer {
public:
    // Connects to 127.0.0.1:port; Connected() tells whether it worked.
    explicit RawPeer(uint16_t port);
    // Takes an accepted socket.
    explicit RawPeer(Tamber::Socket accepted) : socket_(accepted) {}
    ~RawPeer();
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    bool Connected() const { return socket_ != Tamber::kNoSocket; }
    bool SendBytes(const std::string& bytes);
    bool Send(int32_t type, const std::string& payload = "") { return SendBytes(Encode(type, payload)); }
    // The next message within timeoutMs, or nothing.
    std::optional<WireMessage> Receive(uint32_t timeoutMs = 10000);
    // The next message that is not a reply or heartbeat.
    std::optional<WireMessage> ReceiveSkippingReplies(uint32_t timeoutMs = 10000);
    // True when the peer closed the connection (or reset it) within timeoutMs.
    bool WaitForClose(uint32_t timeoutMs = 10000);
    // Closes with a reset instead of an orderly close.
    void Reset();
    void Close();

private:
    bool ReadExactly(char* buffer, std::size_t length, uint32_t timeoutMs);
    Tamber::Socket socket_ = Tamber::kNoSocket;
};

// A listening socket on 127.0.0.1 for tests where the library connects.
class RawListener {
public:
    RawListener();
    ~RawListener();
    RawListener(const RawListener&) = delete;
    RawListener& operator=(const RawListener&) = delete;
    uint16_t Port() const { return port_; }
    // The next connection within timeoutMs, or kNoSocket.
    Tamber::Socket Accept(uint32_t timeoutMs = 10000);

private:
    Tamber::Socket socket_ = Tamber::kNoSocket;
    uint16_t port_ = 0;
};

}  // namespace TamberTest
