// A peer that sends but never reads, and teardown from every side of a
// connection: nothing waits for such a peer for long, nothing is left behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "TamberLauncher.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "raw_peer.h"
#include "test_support.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

using namespace TamberTest;

namespace {

// More than the kernel buffers of both ends hold: a send of it waits for the peer.
const std::string kLarge(12 * 1024 * 1024, 'x');
constexpr auto kBound = std::chrono::seconds(5);

double SecondsOf(const std::function<void()>& action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Connects to port with a 4 KiB receive buffer, and never reads.
std::unique_ptr<RawPeer> StuckPeer(uint16_t port) {
    const Tamber::Socket socket = Tamber::OpenStreamSocket();
    const int size = 4096;
    setsockopt(socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    EXPECT_TRUE(Tamber::ConnectLoopback(socket, port));
    return std::make_unique<RawPeer>(socket);
}

// Threads and descriptors of this process; -1 where /proc is missing.
long Entries(const char* folder) {
    std::error_code error;
    long count = 0;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        ++count;
    return error || count == 0 ? -1 : count;
}
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string word; status >> word;)
        if (word == "VmRSS:" && status >> word) return std::stol(word);
    return -1;
}

struct Server {
    Server() {
        VantorServer_Create(&server);
        EXPECT_EQ(1, VantorServer_Start(server, port));
    }
    ~Server() {
        if (server) VantorServer_Delete(&server);
    }
    uint16_t port = FreePort();
    VantorServer* server = nullptr;
};

// An agent on the accepted end of a connection from a stuck peer.
struct StuckAgent {
    StuckAgent() {
        peer = StuckPeer(listener.Port());
        socket = listener.Accept();
        VantorMessageAgent_Create(&agent);
        EXPECT_EQ(1, VantorMessageAgent_Start(agent, socket));
    }
    ~StuckAgent() {
        if (socket != Tamber::kNoSocket) Tamber::CloseSocket(socket);
        if (agent) VantorMessageAgent_Delete(&agent);
    }
    RawListener listener;
    std::unique_ptr<RawPeer> peer;
    Tamber::Socket socket = Tamber::kNoSocket;
    VantorMessageAgent* agent = nullptr;
};

}  // namespace

TEST(StuckPeer, ServerBroadcastsAcceptsAndDeletesWithinTheBound) {
    LogSession log;
    Server host;
    auto stuck = StuckPeer(host.port);
    RawPeer honest(host.port);
    ASSERT_TRUE(honest.Send(VANTORMESSAGETYPE_HEARTBEAT) && honest.Receive());
    // Accepted before the honest peer, whose reply came back: listed.
    auto broadcast = std::async(std::launch::async, [&] {
        return VantorServer_SendMessageToAllClients(host.server, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, kLarge.c_str());
    });
    // The honest peer connected later, so it was served first, and a newcomer is answered meanwhile.
    EXPECT_TRUE(honest.ReceiveSkippingReplies(5000));
    RawPeer newcomer(host.port);
    EXPECT_TRUE(newcomer.Send(VANTORMESSAGETYPE_HEARTBEAT) && newcomer.Receive(5000));
    EXPECT_EQ(std::future_status::timeout, broadcast.wait_for(std::chrono::milliseconds(100)));
    const double seconds = SecondsOf([&] { EXPECT_EQ(1, VantorServer_Delete(&host.server)); });
    std::printf("server Delete with a send blocked: %.3f s\n", seconds);
    EXPECT_LT(seconds, 5.0);
    ASSERT_EQ(std::future_status::ready, broadcast.wait_for(kBound));
    EXPECT_EQ(1, broadcast.get());
}

TEST(StuckPeer, SendThatMakesNoProgressFailsAndShutsTheConnectionDown) {
    LogSession log;
    FastTime shortLimits;
    StuckAgent connection;
    const double seconds =
        SecondsOf([&] { EXPECT_EQ(0, VantorMessageAgent_SendMessage(connection.agent, 17, kLarge.c_str())); });
    std::printf("stalled send failed after %.3f s (limit shortened)\n", seconds);
    EXPECT_NE(std::string::npos, log.Lines().find("WARNING: Failed to send to socket.\n"));
    EXPECT_TRUE(connection.peer->WaitForClose());
    EXPECT_EQ(0, VantorMessageAgent_SendMessage(connection.agent, 17, "after"));
}

TEST(StuckPeer, AgentDeleteEndsABlockedSendAndReleasesEverything) {
    LogSession log;
    const long threads = Entries("/proc/self/task"), descriptors = Entries("/proc/self/fd");
    {
        StuckAgent connection;
        auto send = std::async(std::launch::async, [&] {
            return VantorMessageAgent_SendMessage(connection.agent, 17, kLarge.c_str());
        });
        ASSERT_EQ(std::future_status::timeout, send.wait_for(std::chrono::milliseconds(300)));
        Tamber::CloseSocket(connection.socket);
        connection.socket = Tamber::kNoSocket;
        const double seconds = SecondsOf([&] { VantorMessageAgent_Delete(&connection.agent); });
        std::printf("agent Delete with a send blocked: %.3f s\n", seconds);
        EXPECT_LT(seconds, 2.0);
        ASSERT_EQ(std::future_status::ready, send.wait_for(kBound));
        EXPECT_EQ(0, send.get());
        EXPECT_TRUE(connection.peer->WaitForClose());
    }
    EXPECT_EQ(std::string::npos, log.Lines().find("failed to shut down"));
    EXPECT_TRUE(WaitUntil([&] { return Entries("/proc/self/task") == threads; }));
    EXPECT_EQ(descriptors, Entries("/proc/self/fd"));
}

namespace {
struct SelfDeleting {
    VantorMessageAgent* agent = nullptr;
    Tamber::Socket socket = Tamber::kNoSocket;
    std::atomic<double> seconds{-1};
};
int32_t VANTOR_CALL DeleteOwnAgent(void* context, int32_t, const char*) {
    auto* owner = static_cast<SelfDeleting*>(context);
    Tamber::CloseSocket(owner->socket);
    owner->seconds = SecondsOf([&] { EXPECT_EQ(1, VantorMessageAgent_Delete(&owner->agent)); });
    return 0;
}
}  // namespace

TEST(StuckPeer, DeleteFromTheAgentsOwnCallbackReturnsAtOnce) {
    LogSession log;
    const long threads = Entries("/proc/self/task");
    {
        RawListener listener;
        RawPeer peer(listener.Port());
        SelfDeleting owner;
        owner.socket = listener.Accept();
        VantorMessageAgent_Create(&owner.agent);
        VantorMessageAgent_SetMessageArrivedCallback(owner.agent, &owner, DeleteOwnAgent);
        ASSERT_EQ(1, VantorMessageAgent_Start(owner.agent, owner.socket));
        peer.Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "bye");
        ASSERT_TRUE(WaitUntil([&] { return owner.seconds.load() >= 0; }));
        EXPECT_LT(owner.seconds.load(), 1.0);
        EXPECT_TRUE(peer.WaitForClose());
    }
    EXPECT_TRUE(WaitUntil([&] { return Entries("/proc/self/task") == threads; }));
    EXPECT_EQ(std::string::npos, log.Lines().find("failed to shut down"));
}

TEST(StuckPeer, NoSocketAndNullAgentAreHandled) {
    LogSession log;
    VantorMessageAgent* agent = nullptr;
    VantorMessageAgent_Create(&agent);
    EXPECT_EQ(0, VantorMessageAgent_Start(agent, Tamber::kNoSocket));
    EXPECT_EQ(0, VantorMessageAgent_SendMessage(agent, 17, nullptr));
    EXPECT_EQ(1, VantorMessageAgent_Delete(&agent));
    EXPECT_EQ(1, VantorMessageAgent_Delete(&agent));
    EXPECT_EQ(1, VantorMessageAgent_Delete(nullptr));
    EXPECT_EQ(1u, CountOf(log.Lines(), "ERROR: Socket cannot be null.\n"));
}

TEST(StuckPeer, AnnouncedPayloadsCostNoMemoryUntilTheyArrive) {
    LogSession log;
    Server host;
    const long before = ResidentKiB();
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (int i = 0; i < 16; ++i) {
        std::string bytes = Encode(17) + "x";
        const int32_t announced = 16 * 1024 * 1024;
        std::memcpy(&bytes[12], &announced, sizeof announced);
        peers.push_back(std::make_unique<RawPeer>(host.port));
        peers.back()->SendBytes(bytes);
    }
    // Nothing tells when a reader has taken a header without its payload.
    Tamber::SleepMilliseconds(500);
    const long after = ResidentKiB();
    std::printf("resident memory: %ld KiB before, %ld KiB after 16 announced 16 MiB payloads\n", before, after);
    if (before > 0) {
        EXPECT_LT(after - before, 32 * 1024);
    }
}
