// The exported server: listens on 127.0.0.1, runs one agent per accepted
// connection, broadcasts, and prunes clients whose connection has ended.
#include "messaging/server.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <new>

#include "frame/log.h"
#include "messaging/agent.h"
#include "platform/socket.h"
#include "platform/syserror.h"
#include "platform/thread.h"

namespace {

constexpr uint32_t kAcceptWaitMilliseconds = 1000;

struct ClientNode {
    VantorMessageAgent* agent;  // owned
    Tamber::Socket socket;      // owned
};

}  // namespace

// Owned through `self` by the host and by the accept thread while it runs.
struct VantorServer {
    std::shared_ptr<VantorServer> self;
    Tamber::Socket listening = Tamber::kNoSocket;
    std::shared_ptr<Tamber::Thread> acceptThread;
    std::atomic<int32_t> running{0};
    std::unique_ptr<Tamber::Waker> stop;  // ends the accept thread's wait at Delete
    // One lock for the list and the callback, taken by the accept thread, the
    // broadcast and Delete, never while sending; agents are deleted only
    // after their nodes have left the list, outside it.
    std::shared_ptr<Tamber::Mutex> clientsLock = Tamber::Mutex::Create();
    void* callbackContext = nullptr;
    MessageArrivedCallback callback = nullptr;
    std::list<ClientNode> clients;  // newest first
};

namespace {

// Shuts the connection down first, so that the agent's reader sees its end.
void CloseClient(ClientNode& node, const char* context) {
    Tamber::ShutdownSocket(node.socket);
    if (!Tamber::CloseSocket(node.socket)) {
        VantorLog_SystemFailure(context, kLogWarning, "Unable to close MessageAgent socket.\n");
    }
    VantorMessageAgent_Delete(&node.agent);
}

std::list<ClientNode> TakeClients(VantorServer& server, bool endedOnly) {
    std::list<ClientNode> taken;
    Tamber::ScopedLock guard(server.clientsLock);
    for (auto node = server.clients.begin(); node != server.clients.end();) {
        const auto next = std::next(node);
        if (!endedOnly || VantorMessageAgent_HasEnded(node->agent)) taken.splice(taken.end(), server.clients, node);
        node = next;
    }
    return taken;
}

// The node is listed before its agent starts, so that a broadcast made in
// answer to the client's first message already reaches that client.
void AddClient(VantorServer& server, Tamber::Socket socket) {
    Tamber::SetNoDelay(socket);
    VantorMessageAgent* agent = nullptr;
    if (!VantorMessageAgent_Create(&agent)) {
        Tamber::CloseSocket(socket);
        return;
    }
    {
        Tamber::ScopedLock guard(server.clientsLock);
        VantorMessageAgent_SetMessageArrivedCallback(agent, server.callbackContext, server.callback);
        server.clients.push_front(ClientNode{agent, socket});
    }
    VantorMessageAgent_Start(agent, socket);
}

uint32_t AcceptThread(void* argument) {
    const std::unique_ptr<std::shared_ptr<VantorServer>> held(static_cast<std::shared_ptr<VantorServer>*>(argument));
    VantorServer& server = **held;
    while (server.running.load() == 1) {
        const Tamber::WaitOutcome ready =
            Tamber::WaitReadable(server.listening, server.stop.get(), kAcceptWaitMilliseconds);
        for (ClientNode& node : TakeClients(server, true)) CloseClient(node, "VantorServer_AcceptThread");
        if (ready != Tamber::WaitOutcome::kDone) continue;
        const Tamber::Socket socket = Tamber::AcceptConnection(server.listening);
        if (socket != Tamber::kNoSocket) AddClient(server, socket);
    }
    return 0;
}

// False with *error telling why.
bool StartAcceptThread(VantorServer& server, uint32_t* error) {
    if (!server.stop) server.stop = Tamber::Waker::Create(error);
    if (!server.stop) return false;
    auto* argument = new (std::nothrow) std::shared_ptr<VantorServer>(server.self);
    if (argument != nullptr) {
        server.acceptThread = Tamber::Thread::Create(AcceptThread, argument);
        if (server.acceptThread) return true;
    }
    *error = Tamber::LastSystemError();
    delete argument;
    return false;
}

}  // namespace

namespace {
std::atomic<NullServerBroadcast> g_nullServerBroadcast{nullptr};
}  // namespace

void VantorServer_SetNullServerBroadcast(NullServerBroadcast broadcast) { g_nullServerBroadcast.store(broadcast); }

std::shared_ptr<VantorServer> VantorServer_Share(VantorServer* server) { return server->self; }

uint16_t VantorServer_BoundPort(VantorServer* server) { return Tamber::LocalPort(server->listening); }

Tamber::Socket VantorServer_ListeningSocket(VantorServer* server) { return server->listening; }

std::vector<VantorMessageAgent*> VantorServer_ClientAgents(VantorServer* server) {
    std::vector<VantorMessageAgent*> agents;
    Tamber::ScopedLock guard(server->clientsLock);
    for (const ClientNode& node : server->clients) agents.push_back(node.agent);
    return agents;
}

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorServer_Create(VantorServer** out) {
    if (out == nullptr) return 0;
    std::shared_ptr<VantorServer> server(new (std::nothrow) VantorServer());
    if (!server) return 0;
    server->self = server;
    // Counted by the system, so a host that started the library already sees no change.
    const int result = Tamber::StartSocketLibrary();
    if (result != 0) VantorLog_Formatted(kLogError, 256, "Error initializing socket. result: %d\n", result);
    // A socket that cannot be made shows later, as a failed bind.
    server->listening = Tamber::OpenStreamSocket();
    Tamber::SetReuseAddress(server->listening);
    *out = server.get();
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServer_Start(VantorServer* server, int32_t port) {
    if (server == nullptr) return 0;
    if (server->running.load() == 1) {
        VantorLog_Message(kLogError, "Server is already running.\n");
        return 0;
    }
    Tamber::SetReuseAddress(server->listening);
    if (!Tamber::BindLoopback(server->listening, static_cast<uint16_t>(port & 0xFFFF))) {
        VantorLog_SystemFailure("VantorServer_Start", kLogError, "Failed to bind server socket.\n");
        return 0;
    }
    if (!Tamber::ListenForConnections(server->listening)) {
        VantorLog_SystemFailure("VantorServer_Start", kLogError, "Failed to listen on server socket.\n");
        return 0;
    }
    server->running.store(1);
    uint32_t error = 0;
    if (!StartAcceptThread(*server, &error)) {
        VantorLog_SystemFailure("VantorServer_Start", kLogError, "Failed to start server thread.\n", error);
        server->running.store(0);
        return 0;
    }
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServer_SendMessageToAllClients(VantorServer* server, int32_t messageType,
                                                                    const char* payload) {
    if (server == nullptr) {
        const NullServerBroadcast broadcast = g_nullServerBroadcast.load();
        return broadcast ? broadcast(messageType, payload) : 0;
    }
    if (server->running.load() != 1) {
        VantorLog_Message(kLogError, "Server cannot send messages until it is started.\n");
        return 0;
    }
    // Sent outside the lock, so that a peer slow to take its bytes holds up
    // neither accepts nor Delete; each reference keeps its agent alive.
    std::vector<std::shared_ptr<VantorMessageAgent>> running;
    {
        Tamber::ScopedLock guard(server->clientsLock);
        if (server->clients.empty()) {
            VantorLog_Message(kLogInfo, "No clients are currently connected.\n");
            return 1;
        }
        for (ClientNode& node : server->clients) {
            int32_t isRunning = 0;
            VantorMessageAgent_GetIsRunning(node.agent, &isRunning);
            if (isRunning == 1) running.push_back(VantorMessageAgent_Share(node.agent));
        }
    }
    for (const auto& agent : running) VantorMessageAgent_SendMessage(agent.get(), messageType, payload);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServer_SetMessageArrivedCallback(VantorServer* server, void* context,
                                                                      MessageArrivedCallback callback) {
    if (server == nullptr) return 0;
    Tamber::ScopedLock guard(server->clientsLock);
    server->callbackContext = context;
    server->callback = callback;
    return 1;
}

VANTOR_API int32_t VANTOR_CALL VantorServer_Delete(VantorServer** pointer) {
    if (pointer == nullptr || *pointer == nullptr) {
        VantorLog_Message(kLogError, "VantorServer is not yet initialized.\n");
        return 0;
    }
    VantorServer* server = *pointer;
    {
        // Ends every send and receive on the clients' connections at once.
        Tamber::ScopedLock guard(server->clientsLock);
        for (const ClientNode& node : server->clients) Tamber::ShutdownSocket(node.socket);
    }
    if (server->running.load() == 1) {
        server->running.store(0);
        server->stop->Wake();
        // Without a limit: the accept thread always ends once woken.
        server->acceptThread->Join(Tamber::kWaitForever);
    }
    if (!Tamber::CloseSocket(server->listening)) {
        VantorLog_SystemFailure("VantorServer_Delete", kLogWarning, "Unable to close server socket.\n");
    }
    for (ClientNode& node : TakeClients(*server, false)) CloseClient(node, "VantorServer_Delete");
    // Every socket of the server, the wake-up's too, goes before the socket library.
    server->stop.reset();
    Tamber::StopSocketLibrary();
    server->acceptThread.reset();
    const std::shared_ptr<VantorServer> owner = std::move(server->self);
    *pointer = nullptr;
    return 1;
}

}  // extern "C"
