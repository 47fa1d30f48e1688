// Row 3: 16 + 32 byte messages from the second process into this one, each
// answered with a reply; messages per second reaching the reader. Baseline: a
// plain reader that reads exactly 16 then 32 bytes and writes 16 per message.
#include <atomic>
#include <cstdio>
#include <thread>

#include "TamberLauncher.h"
#include "bench.h"
#include "plain_socket.h"

namespace Bench {

namespace {

constexpr uint32_t kPeerStartMs = 10000;

// Messages per second counted over the window that follows the warm-up.
double RateOver(const Settings& settings, const std::atomic<uint64_t>& count) {
    SleepFor(settings.streamWarmUpMs);
    const uint64_t firstCount = count.load();
    const uint64_t start = NowNanoseconds();
    SleepFor(settings.streamMs);
    const uint64_t lastCount = count.load();
    const uint64_t end = NowNanoseconds();
    return static_cast<double>(lastCount - firstCount) * 1e9 / static_cast<double>(end - start);
}

void PlainReader(Tamber::Socket socket, std::atomic<uint64_t>& count) {
    char header[16];
    char payload[32];
    const int32_t reply[4] = {16, 1, VANTORMESSAGETYPE_REPLY, 0};
    while (ReceiveExactly(socket, header, sizeof header) && ReceiveExactly(socket, payload, sizeof payload) &&
           SendAll(socket, reply, sizeof reply)) {
        count.fetch_add(1, std::memory_order_relaxed);
    }
}

bool PlainStream(const Settings& settings, double& rate) {
    const std::unique_ptr<Peer> sender = StartPeer(settings, {"raw-sender"});
    const uint16_t port = sender ? sender->ReadPort(kPeerStartMs) : 0;
    const Tamber::Socket socket = port != 0 ? ConnectNoDelay(port) : Tamber::kNoSocket;
    if (socket == Tamber::kNoSocket) return false;
    std::atomic<uint64_t> count{0};
    std::thread reader(PlainReader, socket, std::ref(count));
    rate = RateOver(settings, count);
    // The sender stops and ends the connection, which ends the reader.
    sender->Finish();
    reader.join();
    CloseConnection(socket);
    return rate > 0;
}

struct Counter {
    int32_t type;
    std::atomic<uint64_t> count{0};
};

int32_t VANTOR_CALL CountMessage(void* context, int32_t type, const char*) {
    Counter& counter = *static_cast<Counter*>(context);
    if (type == counter.type) counter.count.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

bool AgentStream(const Settings& settings, int32_t type, double& rate) {
    const std::unique_ptr<Peer> sender = StartPeer(settings, {"agent-sender", std::to_string(type)});
    const uint16_t port = sender ? sender->ReadPort(kPeerStartMs) : 0;
    const Tamber::Socket socket = port != 0 ? ConnectNoDelay(port) : Tamber::kNoSocket;
    if (socket == Tamber::kNoSocket) return false;
    Counter counter{type};
    VantorMessageAgent* agent = nullptr;
    VantorMessageAgent_Create(&agent);
    VantorMessageAgent_SetMessageArrivedCallback(agent, &counter, CountMessage);
    const bool started = VantorMessageAgent_Start(agent, socket) == 1;
    rate = started ? RateOver(settings, counter.count) : 0;
    sender->Finish();
    CloseConnection(socket);
    VantorMessageAgent_Delete(&agent);
    return rate > 0;
}

}  // namespace

bool RunStream(const Settings& settings, Table& table) {
    std::vector<double> plain, unlogged, logged;
    for (int repetition = 0; repetition < settings.repetitions; ++repetition) {
        double plainRate = 0, unloggedRate = 0, loggedRate = 0;
        if (!PlainStream(settings, plainRate) ||
            !AgentStream(settings, VANTORMESSAGETYPE_HEARTBEAT, unloggedRate) ||
            !AgentStream(settings, VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, loggedRate)) {
            std::fprintf(stderr, "tamber_bench: a stream failed\n");
            return false;
        }
        plain.push_back(plainRate);
        unlogged.push_back(unloggedRate);
        logged.push_back(loggedRate);
    }
    table.Add({"3", "stream of 16 + 32 bytes, messages/s", unlogged, plain, {Target::kRatioAtLeast, 0.8}, 0});
    table.Add({"3 logged", "stream of 16 + 32 bytes, messages/s", logged, plain, {}, 0});
    return true;
}

}  // namespace Bench
