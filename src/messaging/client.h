// The game side's end of a connection: one socket connected to a server on
// 127.0.0.1 and the message agent that runs it. Internal: the game controller
// creates it, sets its agent's callback before Start, and sends through the agent.
#pragma once

#include <cstdint>

#include "TamberLauncher.h"

struct VantorClient;

// Creates the client and its agent (not running, heartbeat active 1), starts
// the socket library (logging a failure and going on) and makes the socket.
// Null only when memory runs out. The caller owns the client.
VantorClient* VantorClient_Init();
// Connects to 127.0.0.1 at port (its low 16 bits) and starts the agent: 1, or
// 0 after logging why. After a failed connection the next Start uses a new socket.
int32_t VantorClient_Start(VantorClient* client, int32_t port);
// Shuts down and closes the socket, deletes the agent, releases the socket
// library, frees the client and nulls *client. Always 1.
int32_t VantorClient_Delete(VantorClient** client);
// The client's agent, owned by the client.
VantorMessageAgent* VantorClient_Agent(VantorClient* client);
