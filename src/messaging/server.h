// What the rest of the library and its tests ask of a server beyond its exports.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "TamberLauncher.h"
#include "platform/socket.h"

// The port the listening socket is bound to (the system's choice after a
// Start with port 0), or 0 before a successful bind.
uint16_t VantorServer_BoundPort(VantorServer* server);
// The listening socket, owned by the server: a test seam, for reading its options.
Tamber::Socket VantorServer_ListeningSocket(VantorServer* server);
// The agents of the listed clients, newest first: connected ones, and ended
// ones not yet pruned. Valid while their clients stay listed.
std::vector<VantorMessageAgent*> VantorServer_ClientAgents(VantorServer* server);

// What a broadcast to a null server does: the launcher side fills it in, so
// that the null server means its Air server. Without it such a broadcast is 0.
using NullServerBroadcast = int32_t (*)(int32_t messageType, const char* payload);
void VantorServer_SetNullServerBroadcast(NullServerBroadcast broadcast);
// A reference that keeps the record alive past its Delete (broadcasts through
// it then fail). Only while the owner still holds the server.
std::shared_ptr<VantorServer> VantorServer_Share(VantorServer* server);
