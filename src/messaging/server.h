// What the rest of the library and its tests ask of a server beyond its exports.
#pragma once

#include <cstdint>
#include <vector>

#include "TamberLauncher.h"
#include "platform/socket.h"

// The port the listening socket is bound to (the system's choice after a
// Start with port 0), or 0 before a successful bind.
uint16_t VantorServer_BoundPort(VantorServer* server);
// The listening socket, owned by the server.
Tamber::Socket VantorServer_ListeningSocket(VantorServer* server);
// The agents of the listed clients, newest first: connected ones, and ended
// ones not yet pruned. Valid while their clients stay listed.
std::vector<VantorMessageAgent*> VantorServer_ClientAgents(VantorServer* server);
