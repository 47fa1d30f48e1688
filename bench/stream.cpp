// Row 3: 16 + 32 byte messages from the second process into this one, each
// answered with a reply; messages per second reaching the reader. Baseline: a
// plain reader that reads exactly 16 then 32 bytes and writes 16 per message.
//
// The three streams (plain, library, library with a logged type) stay
// connected for a repetition and take turns in short slices, so that a slow
// stretch of the machine falls on all of them alike.
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "TamberLauncher.h"
#include "bench.h"
#include "plain_socket.h"

namespace Bench {

namespace {

constexpr uint32_t kPeerStartMs = 10000;
constexpr int kSlices = 6;
// After a pause, what is still in flight reaches its reader before the next stream goes.
constexpr uint32_t kDrainMs = 30;

// One sender in its own peer process, told "go" and "pause", and its reader
// here, which counts what it delivers.
class Stream {
public:
    // kPlain, or the message type that the library's sender sends.
    static constexpr int32_t kPlain = -1;

    Stream(const Settings& settings, int32_t type) : type_(type) {
        sender_ = type == kPlain ? StartPeer(settings, {"raw-sender"})
                                 : StartPeer(settings, {"agent-sender", std::to_string(type)});
        const uint16_t port = sender_ ? sender_->ReadPort(kPeerStartMs) : 0;
        socket_ = port != 0 ? ConnectNoDelay(port) : Tamber::kNoSocket;
        if (socket_ == Tamber::kNoSocket) return;
        if (type == kPlain) {
            reader_ = std::thread([this] { ReadPlain(); });
            ready_ = true;
            return;
        }
        VantorMessageAgent_Create(&agent_);
        VantorMessageAgent_SetMessageArrivedCallback(agent_, this, CountMessage);
        ready_ = VantorMessageAgent_Start(agent_, socket_) == 1;
    }
    // The sender ends first and closes its end, which ends a plain reader.
    ~Stream() {
        if (sender_) sender_->Finish();
        if (reader_.joinable()) reader_.join();
        CloseConnection(socket_);
        if (agent_ != nullptr) VantorMessageAgent_Delete(&agent_);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    bool Ready() const { return ready_; }

    // One slice: go, warm up, count over windowMs, pause. False when the sender is gone.
    bool Slice(uint32_t warmUpMs, uint32_t windowMs) {
        if (!sender_->WriteLine("go")) return false;
        SleepFor(warmUpMs);
        const uint64_t firstCount = count_.load();
        const uint64_t start = NowNanoseconds();
        SleepFor(windowMs);
        messages_ += count_.load() - firstCount;
        nanoseconds_ += NowNanoseconds() - start;
        const bool paused = sender_->WriteLine("pause");
        SleepFor(kDrainMs);
        return paused;
    }
    double Rate() const {
        return nanoseconds_ == 0 ? 0 : static_cast<double>(messages_) * 1e9 / static_cast<double>(nanoseconds_);
    }

private:
    void ReadPlain() {
        char header[16];
        char payload[32];
        const int32_t reply[4] = {16, 1, VANTORMESSAGETYPE_REPLY, 0};
        while (ReceiveExactly(socket_, header, sizeof header) && ReceiveExactly(socket_, payload, sizeof payload) &&
               SendAll(socket_, reply, sizeof reply)) {
            count_.fetch_add(1, std::memory_order_relaxed);
        }
    }

    static int32_t VANTOR_CALL CountMessage(void* context, int32_t type, const char*) {
        Stream& stream = *static_cast<Stream*>(context);
        if (type == stream.type_) stream.count_.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }

    const int32_t type_;
    std::unique_ptr<Peer> sender_;
    Tamber::Socket socket_ = Tamber::kNoSocket;
    VantorMessageAgent* agent_ = nullptr;
    std::thread reader_;
    bool ready_ = false;
    std::atomic<uint64_t> count_{0};
    uint64_t messages_ = 0;
    uint64_t nanoseconds_ = 0;
};

}  // namespace

bool RunStream(const Settings& settings, Table& table) {
    const int32_t types[] = {Stream::kPlain, VANTORMESSAGETYPE_HEARTBEAT, VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED};
    constexpr std::size_t kStreams = sizeof types / sizeof types[0];
    const uint32_t windowMs = settings.streamMs / kSlices;
    std::vector<double> rates[kStreams];
    for (int repetition = 0; repetition < settings.repetitions; ++repetition) {
        std::unique_ptr<Stream> streams[kStreams];
        bool ok = true;
        for (std::size_t s = 0; s < kStreams; ++s) {
            streams[s] = std::make_unique<Stream>(settings, types[s]);
            ok = ok && streams[s]->Ready();
        }
        for (int slice = 0; ok && slice < kSlices; ++slice) {
            for (std::size_t s = 0; ok && s < kStreams; ++s) ok = streams[s]->Slice(settings.streamWarmUpMs, windowMs);
        }
        for (std::size_t s = 0; s < kStreams; ++s) {
            ok = ok && streams[s]->Rate() > 0;
            rates[s].push_back(streams[s]->Rate());
        }
        if (!ok) {
            std::fprintf(stderr, "tamber_bench: a stream failed\n");
            return false;
        }
    }
    table.Add({"3", "stream of 16 + 32 bytes, messages/s", rates[1], rates[0], {Target::kRatioAtLeast, 0.8}, 0});
    table.Add({"3 logged", "stream of 16 + 32 bytes, messages/s", rates[2], rates[0], {}, 0});
    return true;
}

}  // namespace Bench
