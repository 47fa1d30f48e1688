// Row 4: pairs of connected agents (a server's client agent and an agent on
// the connecting socket, both in this process) with heartbeats active and no
// other traffic: processor time and wake-ups per connection per second.
//
// Heartbeats leave every 25 s. Connections made together would all beat in the
// same second, so a 10 s window would see every heartbeat or none. The pairs
// are therefore started 125 ms apart on the library's clock (moved forward by
// its test hook while they start; it then runs for real), which spreads their
// heartbeats evenly over the 25 s as connections made at random times would be.
#include <cstdio>
#include <vector>

#include "TamberLauncher.h"
#include "bench.h"
#include "messaging/server.h"
#include "messaging/wire.h"
#include "plain_socket.h"
#include "platform/clock.h"

namespace Bench {

namespace {

constexpr uint32_t kHeartbeatMs = kHeartbeatSeconds * 1000;
constexpr uint32_t kListedWithinMs = 5000;
// The least that heartbeats can cost one connection per period: each side's
// timer wakes once, and each side's reader wakes once for the other's
// heartbeat and the reply to its own, which arrive together at best.
constexpr double kFloorWakeUpsPerPeriod = 4;

struct Pairs {
    VantorServer* server = nullptr;
    std::vector<Tamber::Socket> sockets;
    std::vector<VantorMessageAgent*> agents;

    ~Pairs() {
        for (std::size_t i = 0; i < agents.size(); ++i) {
            CloseConnection(sockets[i]);
            VantorMessageAgent_Delete(&agents[i]);
        }
        if (server != nullptr) VantorServer_Delete(&server);
    }

    // Waits until the server runs an agent for every connection made so far.
    bool AllListed() const {
        for (uint32_t waited = 0; waited < kListedWithinMs; ++waited) {
            const std::vector<VantorMessageAgent*> listed = VantorServer_ClientAgents(server);
            int32_t running = listed.empty() ? 0 : 1;
            if (!listed.empty()) VantorMessageAgent_GetIsRunning(listed.front(), &running);
            if (listed.size() == agents.size() && running == 1) return true;
            SleepFor(1);
        }
        return false;
    }

    bool Connect(int count, uint32_t spacingMs) {
        VantorServer_Create(&server);
        VantorServer_SetMessageArrivedCallback(server, nullptr, Ignore);
        if (!VantorServer_Start(server, 0)) return false;
        const uint16_t port = VantorServer_BoundPort(server);
        for (int i = 0; i < count; ++i) {
            const Tamber::Socket socket = ConnectNoDelay(port);
            if (socket == Tamber::kNoSocket) return false;
            VantorMessageAgent* agent = nullptr;
            VantorMessageAgent_Create(&agent);
            VantorMessageAgent_SetMessageArrivedCallback(agent, nullptr, Ignore);
            sockets.push_back(socket);
            agents.push_back(agent);
            if (!VantorMessageAgent_Start(agent, socket) || !AllListed()) return false;
            // Both heartbeat threads read the clock as they start.
            SleepFor(2);
            Tamber::TestClock::Advance(spacingMs);
        }
        return true;
    }
};

}  // namespace

bool RunIdle(const Settings& settings, Table& table) {
    Pairs pairs;
    if (!pairs.Connect(settings.idlePairs, kHeartbeatMs / static_cast<uint32_t>(settings.idlePairs))) {
        std::fprintf(stderr, "tamber_bench: the idle pairs did not connect\n");
        return false;
    }
    const double connections = settings.idlePairs;
    const double floorRate = kFloorWakeUpsPerPeriod / (kHeartbeatMs / 1000.0);
    std::vector<double> wakeUps, cpu, floors;
    for (int repetition = 0; repetition < settings.repetitions; ++repetition) {
        const uint64_t switchesBefore = VoluntarySwitchesOfOtherThreads();
        const double cpuBefore = ProcessCpuSeconds();
        const uint64_t start = NowNanoseconds();
        SleepFor(settings.idleMs);
        const uint64_t end = NowNanoseconds();
        const double cpuAfter = ProcessCpuSeconds();
        const uint64_t switchesAfter = VoluntarySwitchesOfOtherThreads();
        const double seconds = static_cast<double>(end - start) / 1e9;
        wakeUps.push_back(static_cast<double>(switchesAfter - switchesBefore) / connections / seconds);
        cpu.push_back((cpuAfter - cpuBefore) * 1000.0 / connections / seconds);
        floors.push_back(floorRate);
    }
    table.Add({"4", "idle, wake-ups per connection per second", wakeUps, floors, {Target::kValueAtMost, 0.5}, 3});
    table.Add({"4", "idle, CPU ms per connection per second", cpu, {}, {Target::kValueAtMost, 0.05}, 4});
    return true;
}

}  // namespace Bench
