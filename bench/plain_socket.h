// Plain loopback TCP for the baselines and for the sockets that the
// benchmark hands to agents: blocking, TCP_NODELAY on every connection.
// Not the tests' raw peer: the benchmark builds without the tests and
// GoogleTest, and its baselines receive without a wait before each receive.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/socket.h"

namespace Bench {

// A socket listening on 127.0.0.1 at a port the system chose, or kNoSocket.
Tamber::Socket ListenLoopback(uint16_t& port);
// The next connection within timeoutMs (TCP_NODELAY set), or kNoSocket.
Tamber::Socket AcceptWithin(Tamber::Socket listening, uint32_t timeoutMs);
// A connection to 127.0.0.1 at port (TCP_NODELAY set), or kNoSocket.
Tamber::Socket ConnectNoDelay(uint16_t port);
// One send call for the whole buffer (the kernel takes small ones whole).
bool SendAll(Tamber::Socket socket, const void* bytes, std::size_t length);
// Exactly length bytes; false at the end of the connection or on an error.
bool ReceiveExactly(Tamber::Socket socket, void* bytes, std::size_t length);
// Ends the connection and releases the socket.
void CloseConnection(Tamber::Socket socket);

}  // namespace Bench
