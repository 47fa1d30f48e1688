// The peer's own socket work, as any host does it: the library runs an agent
// on a connected socket but never opens one for its host.
#pragma once

#include <string>

#include "TamberLauncher.h"

namespace Peer {

// Windows: WSAStartup (2.2), which the library's server and agent need.
// POSIX: nothing. False with a reason in *error when it fails.
bool StartSockets(std::string* error);
// Windows: WSACleanup, once for one successful StartSockets. POSIX: nothing.
void StopSockets();

// A socket connected to 127.0.0.1:port, owned by the caller; 0 when the
// connection failed, with the system's reason in *error. Never 0 on success,
// the value an agent refuses.
VantorSocket ConnectLoopback(int port, std::string* error);

// Ends the connection, which also wakes an agent blocked reading it, and
// closes the socket.
void Disconnect(VantorSocket socket);

}  // namespace Peer
