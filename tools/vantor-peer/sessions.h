// The two ways the peer runs: as a server that clients connect to, or as a
// client of someone else's server. Both read commands from standard input
// until "quit" or its end, and return the process's exit status.
#pragma once

#include "output.h"

namespace Peer {

// A library server on 127.0.0.1:port; typed messages go to every client.
// 1 when the port cannot be listened on.
int RunListen(int port, Output& output);

// A socket of the peer's own connected to 127.0.0.1:port, run by a library
// message agent; typed messages go to the server. 1 when it cannot connect.
int RunConnect(int port, Output& output);

}  // namespace Peer
