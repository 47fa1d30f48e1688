// The benchmark's rows and the peer roles that its second process plays.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TamberLauncher.h"
#include "system.h"
#include "table.h"

namespace Bench {

// How much each row measures: the full run, or a smoke pass that only shows
// every row works.
struct Settings {
    bool smoke = false;
    int repetitions = 3;
    int roundTrips = 20000;  // measured per figure, after the warm-up
    int warmUpTrips = 1000;
    uint32_t streamMs = 1500;      // measured per stream, in slices
    uint32_t streamWarmUpMs = 50;  // before each slice
    int idlePairs = 200;
    uint32_t idleMs = 10000;  // per repetition
    int broadcastClients = 1000;
    uint32_t logMs = 500;  // per thread count and repetition
    int peerCpu = -1;      // the CPU the peer pins itself to; -1: none

    static Settings Full();
    static Settings Smoke();
};

// A message callback for the agents whose deliveries nobody counts.
inline int32_t VANTOR_CALL Ignore(void*, int32_t, const char*) { return 0; }

// The payload of rows 2 and 3: 32 bytes, so a message is 16 + 32.
constexpr const char* kPayload32 = "0123456789abcdef0123456789ABCDEF";
// The broadcast's payload tells it from the agents' own heartbeats.
constexpr const char* kBroadcastPayload = "broadcast";

// Rows 1 and 2: round trips, peers in the second process.
bool RunRoundTrips(const Settings& settings, Table& table);
// Row 3: a stream of 16 + 32 byte messages into this process.
bool RunStream(const Settings& settings, Table& table);
// Row 4: idle pairs of agents with heartbeats.
bool RunIdle(const Settings& settings, Table& table);
// Row 5: one server broadcasting to many clients in the second process.
bool RunBroadcast(const Settings& settings, Table& table);
// Row 6: lines through the log.
bool RunLog(const Settings& settings, Table& table);

// Starts this program again as a peer pinned to settings.peerCpu: "--peer
// cpu role args...". Null when it could not start.
std::unique_ptr<Peer> StartPeer(const Settings& settings, std::vector<std::string> roleAndArguments);
// The second process: argv holds "cpu role args...". Returns the exit code.
int RunPeer(int argc, char** argv);

}  // namespace Bench
