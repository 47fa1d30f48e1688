// Row 5: one server in this process, its clients in the second process; time
// from the broadcast call until the last client's callback has the message,
// and what each connected client costs the server's process. Baseline: the
// same bytes sent over plain connections to plain reader threads.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "TamberLauncher.h"
#include "bench.h"
#include "messaging/server.h"
#include "plain_socket.h"

namespace Bench {

namespace {

constexpr uint32_t kConnectedWithinMs = 60000;
constexpr uint32_t kArrivalWithinMs = 10000;
constexpr uint32_t kQuietMs = 100;

// Milliseconds from start until the time the peer reports for its last arrival; negative on failure.
double ArrivalAfter(Peer& clients, uint64_t start) {
    std::string line;
    if (!clients.ReadLine(line, kArrivalWithinMs) || line.compare(0, 8, "arrived ") != 0) return -1;
    const uint64_t latest = std::strtoull(line.c_str() + 8, nullptr, 10);
    return static_cast<double>(latest - start) / 1e6;
}

bool Connected(Peer& clients) {
    std::string line;
    return clients.ReadLine(line, kConnectedWithinMs) && line == "connected";
}

bool PlainBroadcasts(const Settings& settings, std::vector<double>& times) {
    uint16_t port = 0;
    const Tamber::Socket listening = ListenLoopback(port);
    if (listening == Tamber::kNoSocket) return false;
    const std::unique_ptr<Peer> clients =
        StartPeer(settings, {"raw-clients", std::to_string(port), std::to_string(settings.broadcastClients)});
    std::vector<Tamber::Socket> sockets;
    while (clients && static_cast<int>(sockets.size()) < settings.broadcastClients) {
        const Tamber::Socket socket = AcceptWithin(listening, kConnectedWithinMs);
        if (socket == Tamber::kNoSocket) break;
        sockets.push_back(socket);
    }
    bool ok = clients && static_cast<int>(sockets.size()) == settings.broadcastClients && Connected(*clients);
    const std::string payload = kBroadcastPayload;
    const int32_t header[4] = {16, 1, VANTORMESSAGETYPE_HEARTBEAT, static_cast<int32_t>(payload.size())};
    for (int repetition = 0; ok && repetition < settings.repetitions; ++repetition) {
        SleepFor(kQuietMs);
        const uint64_t start = NowNanoseconds();
        for (const Tamber::Socket socket : sockets)
            ok = Tamber::SendGather(socket, header, sizeof header, payload.data(), payload.size()) && ok;
        const double time = ArrivalAfter(*clients, start);
        ok = ok && time >= 0;
        times.push_back(time);
    }
    if (clients) clients->Finish();
    for (const Tamber::Socket socket : sockets) CloseConnection(socket);
    Tamber::CloseSocket(listening);
    return ok;
}

// Waits until the server runs an agent for each of the peer's connections.
bool AllRunning(VantorServer* server, int count) {
    for (uint32_t waited = 0; waited < kConnectedWithinMs; waited += 10) {
        const std::vector<VantorMessageAgent*> agents = VantorServer_ClientAgents(server);
        int running = 0;
        for (VantorMessageAgent* agent : agents) {
            int32_t flag = 0;
            VantorMessageAgent_GetIsRunning(agent, &flag);
            running += flag;
        }
        if (running == count) return true;
        SleepFor(10);
    }
    return false;
}

struct AgentFigures {
    std::vector<double> unlogged, logged;
    double residentPerClient = 0;  // KiB
    double threadsPerClient = 0;
};

bool AgentBroadcasts(const Settings& settings, AgentFigures& figures) {
    const uint64_t residentBefore = ResidentKilobytes();
    const uint32_t threadsBefore = ThreadCount();
    VantorServer* server = nullptr;
    VantorServer_Create(&server);
    VantorServer_SetMessageArrivedCallback(server, nullptr, Ignore);
    if (!VantorServer_Start(server, 0)) {
        VantorServer_Delete(&server);
        return false;
    }
    const std::unique_ptr<Peer> clients = StartPeer(
        settings,
        {"agent-clients", std::to_string(VantorServer_BoundPort(server)), std::to_string(settings.broadcastClients)});
    bool ok = clients && Connected(*clients) && AllRunning(server, settings.broadcastClients);
    // The accept thread is the server's own, not a client's.
    figures.residentPerClient =
        (static_cast<double>(ResidentKilobytes()) - static_cast<double>(residentBefore)) / settings.broadcastClients;
    figures.threadsPerClient =
        (static_cast<double>(ThreadCount()) - static_cast<double>(threadsBefore) - 1) / settings.broadcastClients;
    for (int repetition = 0; ok && repetition < settings.repetitions; ++repetition) {
        for (const int32_t type : {VANTORMESSAGETYPE_HEARTBEAT, VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED}) {
            SleepFor(kQuietMs);
            const uint64_t start = NowNanoseconds();
            VantorServer_SendMessageToAllClients(server, type, kBroadcastPayload);
            const double time = ArrivalAfter(*clients, start);
            ok = ok && time >= 0;
            (type == VANTORMESSAGETYPE_HEARTBEAT ? figures.unlogged : figures.logged).push_back(time);
        }
    }
    if (clients) clients->Finish();
    VantorServer_Delete(&server);
    return ok;
}

}  // namespace

bool RunBroadcast(const Settings& settings, Table& table) {
    std::vector<double> plain;
    AgentFigures agents;
    if (!PlainBroadcasts(settings, plain) || !AgentBroadcasts(settings, agents)) {
        std::fprintf(stderr, "tamber_bench: a broadcast failed\n");
        return false;
    }
    const std::string clients = std::to_string(settings.broadcastClients);
    const Target withinLimit{Target::kValueAtMost, 100};
    table.Add({"5", "broadcast to " + clients + " clients, all have it (ms)", agents.unlogged, plain, withinLimit, 2});
    table.Add(
        {"5 logged", "broadcast to " + clients + " clients, all have it (ms)", agents.logged, plain, withinLimit, 2});
    table.Add({"5", "resident memory per connected client (KiB)", {agents.residentPerClient}, {}, {}, 1});
    table.Add({"5", "threads per connected client", {agents.threadsPerClient}, {}, {}, 2});
    return true;
}

}  // namespace Bench
