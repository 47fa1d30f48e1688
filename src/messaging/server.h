// What the rest of the library and its tests ask of a server beyond its exports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "TamberLauncher.h"

// The port the listening socket is bound to (the system's choice after a
// Start with port 0), or 0 before a successful bind.
uint16_t VantorServer_BoundPort(VantorServer* server);
// Clients in the list: connected ones, and ended ones not yet pruned.
std::size_t VantorServer_ClientCount(VantorServer* server);
