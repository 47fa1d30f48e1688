#include "messaging/client.h"

#include <new>

#include "frame/log.h"
#include "platform/socket.h"

struct VantorClient {
    VantorMessageAgent* agent = nullptr;        // owned
    Tamber::Socket socket = Tamber::kNoSocket;  // owned
    int32_t started = 0;
};

VantorClient* VantorClient_Init() {
    auto* client = new (std::nothrow) VantorClient();
    if (client == nullptr) return nullptr;
    if (!VantorMessageAgent_Create(&client->agent)) {
        delete client;
        return nullptr;
    }
    const int result = Tamber::StartSocketLibrary();
    if (result != 0) VantorLog_Formatted(kLogError, 256, "Error initializing socket. result: %d\n", result);
    client->socket = Tamber::OpenStreamSocket();
    return client;
}

int32_t VantorClient_Start(VantorClient* client, int32_t port) {
    if (client->started != 0) {
        VantorLog_Message(kLogError, "This client has already been started.\n");
        return 0;
    }
    uint32_t error = 0;
    if (!Tamber::ConnectLoopback(client->socket, static_cast<uint16_t>(port & 0xFFFF), &error)) {
        VantorLog_SystemFailure("VantorClient_Start", kLogError, "Unable to connect to server.\n", error);
        // A socket whose connection failed is not reliably usable for another attempt.
        Tamber::CloseSocket(client->socket);
        client->socket = Tamber::OpenStreamSocket();
        return 0;
    }
    Tamber::SetNoDelay(client->socket);
    if (!VantorMessageAgent_Start(client->agent, client->socket)) return 0;
    client->started = 1;
    return 1;
}

int32_t VantorClient_Delete(VantorClient** pointer) {
    if (pointer == nullptr || *pointer == nullptr) return 1;
    VantorClient* client = *pointer;
    // Shut down first, so that the agent's reader sees the end of the connection.
    Tamber::ShutdownSocket(client->socket);
    if (!Tamber::CloseSocket(client->socket)) {
        VantorLog_SystemFailure("VantorClient_Delete", kLogWarning, "Unable to close the client socket.\n");
    }
    // The agent's own sockets go before the socket library that they need.
    VantorMessageAgent_Delete(&client->agent);
    Tamber::StopSocketLibrary();
    delete client;
    *pointer = nullptr;
    return 1;
}

VantorMessageAgent* VantorClient_Agent(VantorClient* client) { return client->agent; }
