// Rows 1 and 2: a message through an agent, the peer agent's automatic reply,
// the reply seen by the sender's callback; against a plain 16-byte ping-pong.
// The peers run in the second process on the other CPU.
//
// The plain ping-pong and the four agent variants each keep one connection
// open for a repetition and take turns in blocks of round trips, so that a
// slow stretch of the machine falls on all of them alike.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "TamberLauncher.h"
#include "bench.h"
#include "plain_socket.h"

namespace Bench {

namespace {

constexpr uint32_t kPeerStartMs = 10000;
constexpr uint32_t kBlockLimitMs = 60000;
constexpr int kBlocks = 20;

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

// Round trips of 16 bytes each way with the echo peer, one blocking thread.
class PlainPingPong {
public:
    explicit PlainPingPong(uint16_t port) : socket_(ConnectNoDelay(port)) {}
    ~PlainPingPong() { CloseConnection(socket_); }
    PlainPingPong(const PlainPingPong&) = delete;
    PlainPingPong& operator=(const PlainPingPong&) = delete;

    // Adds count round trips to samples (null: not kept); false if one failed.
    bool Run(int count, std::vector<uint64_t>* samples) {
        if (socket_ == Tamber::kNoSocket) return false;
        char bytes[16] = {};
        for (int i = 0; i < count; ++i) {
            const uint64_t start = NowNanoseconds();
            if (!SendAll(socket_, bytes, sizeof bytes) || !ReceiveExactly(socket_, bytes, sizeof bytes)) return false;
            if (samples != nullptr) samples->push_back(NowNanoseconds() - start);
        }
        return true;
    }

private:
    Tamber::Socket socket_;
};

// Round trips through an agent on its own connection to the peer's server,
// driven from the sender's callback: each reply records its round trip and
// sends the next message from the agent's own socket thread, so no hand-over
// between threads sits in the measured path.
class AgentPingPong {
public:
    AgentPingPong(uint16_t port, int32_t type, const char* payload)
        : socket_(ConnectNoDelay(port)), type_(type), payload_(payload) {
        VantorMessageAgent_Create(&agent_);
        VantorMessageAgent_SetMessageArrivedCallback(agent_, this, OnReply);
        started_ = socket_ != Tamber::kNoSocket && VantorMessageAgent_Start(agent_, socket_) == 1;
    }
    // The owner's order: the socket first, which ends the agent's reader.
    ~AgentPingPong() {
        CloseConnection(socket_);
        VantorMessageAgent_Delete(&agent_);
    }
    AgentPingPong(const AgentPingPong&) = delete;
    AgentPingPong& operator=(const AgentPingPong&) = delete;

    bool Run(int count, std::vector<uint64_t>* samples) {
        if (!started_ || count <= 0) return started_;
        {
            std::lock_guard<std::mutex> guard(lock_);
            remaining_ = count;
            samples_ = samples;
            done_ = false;
            failed_ = false;
        }
        Send();
        std::unique_lock<std::mutex> guard(lock_);
        const bool finished =
            finished_.wait_for(guard, std::chrono::milliseconds(kBlockLimitMs), [&] { return done_; });
        // A late reply of a block that did not finish must find nothing to record.
        done_ = true;
        samples_ = nullptr;
        started_ = finished && !failed_;
        return started_;
    }

private:
    static int32_t VANTOR_CALL OnReply(void* context, int32_t type, const char*) {
        if (type == VANTORMESSAGETYPE_REPLY) static_cast<AgentPingPong*>(context)->Replied();
        return 0;
    }

    void Replied() {
        const uint64_t now = NowNanoseconds();
        bool more = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (done_) return;
            if (samples_ != nullptr) samples_->push_back(now - sentAt_);
            more = --remaining_ > 0;
            if (!more) Finish(false);
        }
        if (more) Send();
    }

    void Send() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            sentAt_ = NowNanoseconds();
        }
        if (VantorMessageAgent_SendMessage(agent_, type_, payload_) == 1) return;
        std::lock_guard<std::mutex> guard(lock_);
        Finish(true);
    }

    // Called with lock_ held.
    void Finish(bool failed) {
        done_ = true;
        failed_ = failed;
        finished_.notify_all();
    }

    Tamber::Socket socket_;
    VantorMessageAgent* agent_ = nullptr;
    const int32_t type_;
    const char* const payload_;
    bool started_ = false;
    std::mutex lock_;
    std::condition_variable finished_;
    int remaining_ = 0;
    std::vector<uint64_t>* samples_ = nullptr;
    uint64_t sentAt_ = 0;
    bool done_ = true;
    bool failed_ = false;
};

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

    const int perBlock = std::max(1, settings.roundTrips / kBlocks);
    std::vector<double> plain50, plain99;
    std::vector<double> agent50[kVariants], agent99[kVariants];
    for (int repetition = 0; repetition < settings.repetitions; ++repetition) {
        PlainPingPong plain(echoPort);
        std::vector<std::unique_ptr<AgentPingPong>> agentRuns;
        for (const Variant& variant : variants)
            agentRuns.push_back(std::make_unique<AgentPingPong>(agentPort, variant.type, variant.payload));
        bool ok = plain.Run(settings.warmUpTrips, nullptr);
        for (auto& run : agentRuns) ok = ok && run->Run(settings.warmUpTrips, nullptr);

        std::vector<uint64_t> plainSamples;
        std::vector<uint64_t> agentSamples[kVariants];
        for (int block = 0; ok && block < kBlocks; ++block) {
            ok = plain.Run(perBlock, &plainSamples);
            for (std::size_t v = 0; ok && v < kVariants; ++v) ok = agentRuns[v]->Run(perBlock, &agentSamples[v]);
        }
        if (!ok) {
            std::fprintf(stderr, "tamber_bench: a round trip failed\n");
            return false;
        }
        const Percentiles plainFigures = Summarise(plainSamples);
        plain50.push_back(plainFigures.p50);
        plain99.push_back(plainFigures.p99);
        for (std::size_t v = 0; v < kVariants; ++v) {
            const Percentiles figures = Summarise(agentSamples[v]);
            agent50[v].push_back(figures.p50);
            agent99[v].push_back(figures.p99);
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
