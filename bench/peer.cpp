// The roles of the second process. Each writes "port N" once it listens (or
// "connected" once it has connected), serves until its standard input ends,
// then releases everything and exits. Every role also ends on its own after
// kMaxLifeMs, so a lost parent never leaves it running.
#include <poll.h>
#include <sys/prctl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TamberLauncher.h"
#include "bench.h"
#include "messaging/server.h"
#include "plain_socket.h"
#include "system.h"

namespace Bench {

namespace {

constexpr uint32_t kMaxLifeMs = 600000;
constexpr uint32_t kAcceptMs = 30000;
constexpr uint32_t kAcceptSliceMs = 100;
constexpr int32_t kHeaderSize = 16;
constexpr std::size_t kMaxRawPayload = 256;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Watches standard input on its own thread. The parent closes it to end the
// role; senders also obey the lines "go" and "pause".
class InputWatch {
public:
    InputWatch() : thread_([this] { Watch(); }) {}
    ~InputWatch() { thread_.join(); }
    InputWatch(const InputWatch&) = delete;
    InputWatch& operator=(const InputWatch&) = delete;
    bool Ended() const { return ended_.load(std::memory_order_relaxed); }
    bool Going() const { return going_.load(std::memory_order_relaxed); }
    // Blocks until the input ends or the role's life is over.
    void Wait() {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait_for(lock, std::chrono::milliseconds(kMaxLifeMs), [this] { return Ended(); });
    }
    // Blocks until "go" (true) or the end of the input (false).
    bool WaitForGo() {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait_for(lock, std::chrono::milliseconds(kMaxLifeMs), [this] { return Ended() || Going(); });
        return !Ended() && Going();
    }

private:
    void Watch() {
        const uint64_t deadline = NowNanoseconds() + uint64_t{kMaxLifeMs} * 1000000u;
        std::string pending;
        for (uint64_t now = NowNanoseconds(); now < deadline; now = NowNanoseconds()) {
            pollfd entry{STDIN_FILENO, POLLIN, 0};
            const int ready = poll(&entry, 1, static_cast<int>((deadline - now) / 1000000u) + 1);
            if (ready < 0 && errno != EINTR) break;
            if (ready <= 0) continue;
            char bytes[64];
            const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
            if (count <= 0) break;
            pending.append(bytes, static_cast<std::size_t>(count));
            for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
                Command(pending.substr(0, end));
                pending.erase(0, end + 1);
            }
        }
        std::lock_guard<std::mutex> guard(lock_);
        going_.store(false);
        ended_.store(true);
        changed_.notify_all();
    }
    void Command(const std::string& line) {
        std::lock_guard<std::mutex> guard(lock_);
        going_.store(line == "go");
        changed_.notify_all();
    }
    std::atomic<bool> ended_{false};
    std::atomic<bool> going_{false};
    std::mutex lock_;
    std::condition_variable changed_;
    std::thread thread_;
};

// Counts broadcasts (the only messages with a payload) as they reach any of
// the clients, keeping the time of the latest.
struct Arrivals {
    explicit Arrivals(uint64_t clientCount) : clients(clientCount) {}
    const uint64_t clients;
    std::mutex lock;
    std::condition_variable changed;
    uint64_t count = 0;
    uint64_t latest = 0;

    void Arrived() {
        const uint64_t now = NowNanoseconds();
        std::lock_guard<std::mutex> guard(lock);
        latest = std::max(latest, now);
        // Only the last arrival of a round wakes the reporter.
        if (++count % clients == 0) changed.notify_all();
    }
    // Writes "arrived <ns>" for each round in which every client had the
    // message, until the input ends.
    void Report(InputWatch& input) {
        const uint64_t deadline = NowNanoseconds() + uint64_t{kMaxLifeMs} * 1000000u;
        for (uint64_t round = 1; !input.Ended() && NowNanoseconds() < deadline;) {
            std::unique_lock<std::mutex> guard(lock);
            if (!changed.wait_for(guard, std::chrono::milliseconds(50), [&] { return count >= round * clients; }))
                continue;
            Say("arrived " + std::to_string(latest));
            latest = 0;
            ++round;
        }
    }
};

int32_t VANTOR_CALL CountBroadcast(void* context, int32_t, const char* payload) {
    if (payload != nullptr) static_cast<Arrivals*>(context)->Arrived();
    return 0;
}

// Answers every 16-byte message with the same bytes, one connection after
// another.
int Echo() {
    uint16_t port = 0;
    const Tamber::Socket listening = ListenLoopback(port);
    if (listening == Tamber::kNoSocket) return 1;
    InputWatch input;
    Say("port " + std::to_string(port));
    while (!input.Ended()) {
        const Tamber::Socket socket = AcceptWithin(listening, kAcceptSliceMs);
        if (socket == Tamber::kNoSocket) continue;
        char bytes[kHeaderSize];
        while (ReceiveExactly(socket, bytes, sizeof bytes) && SendAll(socket, bytes, sizeof bytes)) {
        }
        CloseConnection(socket);
    }
    Tamber::CloseSocket(listening);
    return 0;
}

// A library server whose agents answer every message.
int AgentServer() {
    Vantor_Init("bench-peer");
    VantorServer* server = nullptr;
    VantorServer_Create(&server);
    VantorServer_SetMessageArrivedCallback(server, nullptr, Ignore);
    if (!VantorServer_Start(server, 0)) return 1;
    InputWatch input;
    Say("port " + std::to_string(VantorServer_BoundPort(server)));
    input.Wait();
    VantorServer_Delete(&server);
    Vantor_Remove();
    return 0;
}

// Reads the replies of a stream until the connection ends.
void Drain(Tamber::Socket socket) {
    char bytes[4096];
    while (Tamber::ReceiveSome(socket, bytes, sizeof bytes) > 0) {
    }
}

// Listens, says its port, and hands the first connection within kAcceptMs to
// serve(socket, input); then waits for the input to end. The senders' frame.
template <class Serve>
int ServeFirstConnection(Serve serve) {
    uint16_t port = 0;
    const Tamber::Socket listening = ListenLoopback(port);
    if (listening == Tamber::kNoSocket) return 1;
    InputWatch input;
    Say("port " + std::to_string(port));
    const Tamber::Socket socket = AcceptWithin(listening, kAcceptMs);
    if (socket != Tamber::kNoSocket) serve(socket, input);
    input.Wait();
    Tamber::CloseSocket(listening);
    return 0;
}

// The plain stream: one send per 48-byte message while told to go, replies
// drained on a thread.
int RawSender() {
    return ServeFirstConnection([](Tamber::Socket socket, InputWatch& input) {
        std::thread drainer(Drain, socket);
        char message[kHeaderSize + 32];
        const int32_t header[4] = {kHeaderSize, 1, VANTORMESSAGETYPE_HEARTBEAT, 32};
        std::memcpy(message, header, sizeof header);
        std::memcpy(message + kHeaderSize, kPayload32, 32);
        bool sending = true;
        while (sending && input.WaitForGo()) {
            while (sending && input.Going()) sending = SendAll(socket, message, sizeof message);
        }
        Tamber::ShutdownSocket(socket);
        drainer.join();
        Tamber::CloseSocket(socket);
    });
}

// The library's stream: SendMessage in a loop through an agent while told to go.
int AgentSender(int32_t type) {
    Vantor_Init("bench-peer");
    const int result = ServeFirstConnection([type](Tamber::Socket socket, InputWatch& input) {
        VantorMessageAgent* agent = nullptr;
        VantorMessageAgent_Create(&agent);
        VantorMessageAgent_SetMessageArrivedCallback(agent, nullptr, Ignore);
        VantorMessageAgent_Start(agent, socket);
        bool sending = true;
        while (sending && input.WaitForGo()) {
            while (sending && input.Going()) sending = VantorMessageAgent_SendMessage(agent, type, kPayload32) == 1;
        }
        CloseConnection(socket);
        VantorMessageAgent_Delete(&agent);
    });
    Vantor_Remove();
    return result;
}

// Library clients of the parent's server, each an agent on its own connection.
int AgentClients(uint16_t port, int count) {
    Vantor_Init("bench-peer");
    Arrivals arrivals(static_cast<uint64_t>(count));
    std::vector<Tamber::Socket> sockets;
    std::vector<VantorMessageAgent*> agents;
    for (int i = 0; i < count; ++i) {
        const Tamber::Socket socket = ConnectNoDelay(port);
        if (socket == Tamber::kNoSocket) break;
        VantorMessageAgent* agent = nullptr;
        VantorMessageAgent_Create(&agent);
        VantorMessageAgent_SetMessageArrivedCallback(agent, &arrivals, CountBroadcast);
        VantorMessageAgent_Start(agent, socket);
        sockets.push_back(socket);
        agents.push_back(agent);
    }
    InputWatch input;
    Say(static_cast<int>(agents.size()) == count ? "connected" : "failed");
    arrivals.Report(input);
    for (std::size_t i = 0; i < agents.size(); ++i) {
        CloseConnection(sockets[i]);
        VantorMessageAgent_Delete(&agents[i]);
    }
    Vantor_Remove();
    return 0;
}

// One plain client: reads each message, answers it with 16 bytes.
void RawClient(Tamber::Socket socket, Arrivals& arrivals) {
    int32_t header[4];
    char payload[kMaxRawPayload];
    const int32_t reply[4] = {kHeaderSize, 1, VANTORMESSAGETYPE_REPLY, 0};
    while (ReceiveExactly(socket, header, sizeof header)) {
        const int32_t length = header[3];
        if (length < 0 || static_cast<std::size_t>(length) > sizeof payload) break;
        if (!ReceiveExactly(socket, payload, static_cast<std::size_t>(length))) break;
        if (!SendAll(socket, reply, sizeof reply)) break;
        if (length > 0) arrivals.Arrived();
    }
}

// Plain clients, a thread each, as the baseline of the broadcast.
int RawClients(uint16_t port, int count) {
    Arrivals arrivals(static_cast<uint64_t>(count));
    std::vector<Tamber::Socket> sockets;
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        const Tamber::Socket socket = ConnectNoDelay(port);
        if (socket == Tamber::kNoSocket) break;
        sockets.push_back(socket);
        threads.emplace_back(RawClient, socket, std::ref(arrivals));
    }
    InputWatch input;
    Say(static_cast<int>(sockets.size()) == count ? "connected" : "failed");
    arrivals.Report(input);
    for (const Tamber::Socket socket : sockets) Tamber::ShutdownSocket(socket);
    for (std::thread& thread : threads) thread.join();
    for (const Tamber::Socket socket : sockets) Tamber::CloseSocket(socket);
    return 0;
}

}  // namespace

std::unique_ptr<Peer> StartPeer(const Settings& settings, std::vector<std::string> roleAndArguments) {
    roleAndArguments.insert(roleAndArguments.begin(), std::to_string(settings.peerCpu));
    return Peer::Start(roleAndArguments);
}

int RunPeer(int argc, char** argv) {
    // Ends with the parent, whatever happens to it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1) return 1;
    if (argc < 2) return 2;
    const int cpu = std::atoi(argv[0]);
    if (cpu >= 0) PinToCpu(cpu);
    const std::string role = argv[1];
    const auto number = [&](int index) { return index < argc ? std::atoi(argv[index]) : 0; };
    if (role == "echo") return Echo();
    if (role == "agent-server") return AgentServer();
    if (role == "raw-sender") return RawSender();
    if (role == "agent-sender") return AgentSender(number(2));
    if (role == "agent-clients") return AgentClients(static_cast<uint16_t>(number(2)), number(3));
    if (role == "raw-clients") return RawClients(static_cast<uint16_t>(number(2)), number(3));
    std::fprintf(stderr, "tamber_bench: unknown peer role %s\n", role.c_str());
    return 2;
}

}  // namespace Bench
