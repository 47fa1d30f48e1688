// Rows 1 and 2: a message through an agent, the peer agent's automatic reply,
// the reply seen by the sender's callback; against a plain 16-byte ping-pong.
// The peer runs in the second process on the other CPU.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "TamberLauncher.h"
#include "bench.h"
#include "plain_socket.h"

namespace Bench {

namespace {

constexpr uint32_t kPeerStartMs = 10000;
constexpr uint32_t kRunLimitMs = 60000;

struct Percentiles {
    double p50 = 0;
    double p99 = 0;
};

Percentiles Summarise(std::vector<uint64_t>& nanoseconds) {
    Percentiles result;
    if (nanoseconds.empty()) return result;
    std::sort(nanoseconds.begin(), nanoseconds.end());
    const auto at = [&](double fraction) {
        const auto index = static_cast<std::size_t>(fraction * static_cast<double>(nanoseconds.size() - 1));
        return static_cast<double>(nanoseconds[index]) / 1000.0;
    };
    result.p50 = at(0.50);
    result.p99 = at(0.99);
    return result;
}

// The plain ping-pong against the echo peer; false if a send or read failed.
bool PlainRoundTrips(uint16_t port, int warmUp, int count, Percentiles& out) {
    const Tamber::Socket socket = ConnectNoDelay(port);
    if (socket == Tamber::kNoSocket) return false;
    std::vector<uint64_t> samples;
    samples.reserve(static_cast<std::size_t>(count));
    char bytes[16] = {};
    bool ok = true;
    for (int i = 0; i < warmUp + count && ok; ++i) {
        const uint64_t start = NowNanoseconds();
        ok = SendAll(socket, bytes, sizeof bytes) && ReceiveExactly(socket, bytes, sizeof bytes);
        if (i >= warmUp) samples.push_back(NowNanoseconds() - start);
    }
    CloseConnection(socket);
    out = Summarise(samples);
    return ok;
}

// Driven from the sender's callback: each reply records its round trip and
// sends the next message from the agent's own socket thread, so no hand-over
// between threads sits in the measured path.
struct PingPong {
    VantorMessageAgent* agent = nullptr;
    int32_t type = 0;
    const char* payload = nullptr;
    int warmUp = 0;
    int total = 0;
    int replies = 0;
    std::atomic<uint64_t> sentAt{0};  // the first send is the main thread's
    std::vector<uint64_t> samples;
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;

    void Send() {
        sentAt.store(NowNanoseconds(), std::memory_order_relaxed);
        if (VantorMessageAgent_SendMessage(agent, type, payload) != 1) Finish();
    }
    void Finish() {
        std::lock_guard<std::mutex> guard(lock);
        done = true;
        finished.notify_all();
    }
};

int32_t VANTOR_CALL OnReply(void* context, int32_t type, const char*) {
    if (type != VANTORMESSAGETYPE_REPLY) return 0;
    PingPong& run = *static_cast<PingPong*>(context);
    const uint64_t now = NowNanoseconds();
    if (run.replies++ >= run.warmUp) run.samples.push_back(now - run.sentAt.load(std::memory_order_relaxed));
    if (run.replies < run.total)
        run.Send();
    else
        run.Finish();
    return 0;
}

// One connection to the peer's server, one agent, warmUp + count round trips.
bool AgentRoundTrips(uint16_t port, int32_t type, const char* payload, int warmUp, int count, Percentiles& out) {
    const Tamber::Socket socket = ConnectNoDelay(port);
    if (socket == Tamber::kNoSocket) return false;
    PingPong run;
    run.type = type;
    run.payload = payload;
    run.warmUp = warmUp;
    run.total = warmUp + count;
    run.samples.reserve(static_cast<std::size_t>(count));
    VantorMessageAgent_Create(&run.agent);
    VantorMessageAgent_SetMessageArrivedCallback(run.agent, &run, OnReply);
    bool ok = VantorMessageAgent_Start(run.agent, socket) == 1;
    if (ok) {
        run.Send();
        std::unique_lock<std::mutex> guard(run.lock);
        ok = run.finished.wait_for(guard, std::chrono::milliseconds(kRunLimitMs), [&] { return run.done; });
    }
    CloseConnection(socket);
    VantorMessageAgent_Delete(&run.agent);
    ok = ok && static_cast<int>(run.samples.size()) == count;
    out = Summarise(run.samples);
    return ok;
}

struct Variant {
    const char* row;
    const char* what;
    int32_t type;
    const char* payload;
    Target target;
};

}  // namespace

bool RunRoundTrips(const Settings& settings, Table& table) {
    const Target withinOneAndAHalf{Target::kRatioAtMost, 1.5};
    const Variant variants[] = {
        {"1", "round trip, header only", VANTORMESSAGETYPE_HEARTBEAT, nullptr, withinOneAndAHalf},
        {"1 logged", "round trip, header only", VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, nullptr, {}},
        {"2", "round trip, 32-byte payload", VANTORMESSAGETYPE_HEARTBEAT, kPayload32, withinOneAndAHalf},
        {"2 logged", "round trip, 32-byte payload", VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, kPayload32, {}},
    };
    constexpr std::size_t kVariants = sizeof variants / sizeof variants[0];

    const std::unique_ptr<Peer> echo = StartPeer(settings, {"echo"});
    const std::unique_ptr<Peer> agents = StartPeer(settings, {"agent-server"});
    const uint16_t echoPort = echo ? echo->ReadPort(kPeerStartMs) : 0;
    const uint16_t agentPort = agents ? agents->ReadPort(kPeerStartMs) : 0;
    if (echoPort == 0 || agentPort == 0) {
        std::fprintf(stderr, "tamber_bench: the round-trip peers did not start\n");
        return false;
    }

    std::vector<double> plain50, plain99;
    std::vector<double> agent50[kVariants], agent99[kVariants];
    for (int repetition = 0; repetition < settings.repetitions; ++repetition) {
        Percentiles plain;
        if (!PlainRoundTrips(echoPort, settings.warmUpTrips, settings.roundTrips, plain)) {
            std::fprintf(stderr, "tamber_bench: the plain ping-pong failed\n");
            return false;
        }
        plain50.push_back(plain.p50);
        plain99.push_back(plain.p99);
        for (std::size_t v = 0; v < kVariants; ++v) {
            Percentiles measured;
            if (!AgentRoundTrips(agentPort, variants[v].type, variants[v].payload, settings.warmUpTrips,
                                 settings.roundTrips, measured)) {
                std::fprintf(stderr, "tamber_bench: round trips through agents failed (%s)\n", variants[v].row);
                return false;
            }
            agent50[v].push_back(measured.p50);
            agent99[v].push_back(measured.p99);
        }
    }
    for (std::size_t v = 0; v < kVariants; ++v) {
        const std::string what = variants[v].what;
        table.Add({variants[v].row, what + ", p50 (us)", agent50[v], plain50, variants[v].target, 1});
        table.Add({variants[v].row, what + ", p99 (us)", agent99[v], plain99, {}, 1});
    }
    return true;
}

}  // namespace Bench
