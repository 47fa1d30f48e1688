// A peer that sends but never reads, and teardown from every side of a
// connection: nothing waits for such a peer for long, nothing is left behind.
// Options of every kind of socket the library makes: none is inherited by a
// child that the host starts by other means, both ends of a connection send
// small messages at once, and a server's listening port is never shared.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>

#include "TamberLauncher.h"
#include "messaging/agent_record.h"
#include "messaging/client.h"
#include "messaging/server.h"
#include "platform/socket.h"
#include "raw_peer.h"
#include "test_support.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
constexpr bool kOwnProcFolders = false;  // under Wine /proc shows the emulator's threads
constexpr bool kReuseAddress = false;    // there it would let another socket bind the port in use
using OptionLength = int;
#else
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
constexpr bool kOwnProcFolders = true;
constexpr bool kReuseAddress = true;  // only a quick rebind after a restart
using OptionLength = socklen_t;
#endif

using namespace TamberTest;

namespace {

// More than the kernel buffers of both ends hold: a send of it waits for the peer.
const std::string kLarge(12 * 1024 * 1024, 'x');

// Threads or descriptors of this process; -1 without /proc.
long Entries(const char* folder) {
    std::error_code error;
    const auto count = static_cast<long>(
        std::distance(std::filesystem::directory_iterator(folder, error), std::filesystem::directory_iterator()));
    return error || count == 0 || !kOwnProcFolders ? -1 : count;
}

// A server, or an agent on the accepted end of a connection from a peer
// with a 4 KiB receive buffer that never reads.
struct Stuck {
    explicit Stuck(bool withAgent) {
        if (!withAgent) {
            VantorServer_Create(&server);
            VantorServer_Start(server, port);
        }
        const Tamber::Socket dialled = Tamber::OpenStreamSocket();
        static const int size = 4096;
        setsockopt(dialled, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
        EXPECT_TRUE(Tamber::ConnectLoopback(dialled, withAgent ? listener.Port() : port));
        peer = std::make_unique<RawPeer>(dialled);
        if (!withAgent) return;
        socket = listener.Accept();
        EXPECT_EQ(VantorMessageAgent_Create(&agent), 1);
        EXPECT_EQ(VantorMessageAgent_Start(agent, socket), 1);
    }
    ~Stuck() {
        CloseOwn();
        VantorMessageAgent_Delete(&agent);
        VantorServer_Delete(&server);
    }
    void CloseOwn() {
        if (socket != Tamber::kNoSocket) Tamber::CloseSocket(socket);
        socket = Tamber::kNoSocket;
    }
    LogSession log;
    uint16_t port = FreePort();
    VantorServer* server = nullptr;
    RawListener listener;
    std::unique_ptr<RawPeer> peer;
    Tamber::Socket socket = Tamber::kNoSocket;
    VantorMessageAgent* agent = nullptr;
    std::atomic<int32_t> deleted{0};
};

bool Inheritable(Tamber::Socket socket) {
#ifdef _WIN32
    DWORD flags = 0;
    return !GetHandleInformation(reinterpret_cast<HANDLE>(socket), &flags) || (flags & HANDLE_FLAG_INHERIT) != 0;
#else
    const int flags = fcntl(socket, F_GETFD);
    return flags < 0 || (flags & FD_CLOEXEC) == 0;
#endif
}

bool Option(Tamber::Socket socket, int level, int name) {
    int value = 0;
    OptionLength length = sizeof value;
    return getsockopt(socket, level, name, reinterpret_cast<char*>(&value), &length) == 0 && value != 0;
}

// The agent's duplicate of its socket; kNoSocket until its Start has made it.
Tamber::Socket LinkOf(VantorMessageAgent* agent) {
    const auto link = std::atomic_load(&agent->link);
    return link ? link->connection : Tamber::kNoSocket;
}

int32_t VANTOR_CALL DeleteOwnAgent(void* context, int32_t, const char*) {
    auto* owner = static_cast<Stuck*>(context);
    owner->CloseOwn();
    owner->deleted = VantorMessageAgent_Delete(&owner->agent);
    return 0;
}

}  // namespace

TEST(StuckPeer, ServerBroadcastsAcceptsAndDeletesWithinTheBound) {
    Stuck host(false);
    RawPeer honest(host.port);
    // Accepted after the stuck peer, whose node is therefore listed; served first.
    ASSERT_TRUE(honest.Send(VANTORMESSAGETYPE_HEARTBEAT));
    ASSERT_EQ(honest.Receive(), Framed(VANTORMESSAGETYPE_REPLY));
    auto broadcast = std::async(std::launch::async, [&] {
        return VantorServer_SendMessageToAllClients(host.server, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, kLarge.c_str());
    });
    EXPECT_EQ(honest.ReceiveSkippingReplies(5000), Framed(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, kLarge));
    RawPeer newcomer(host.port);
    EXPECT_TRUE(newcomer.Send(VANTORMESSAGETYPE_HEARTBEAT));
    EXPECT_EQ(newcomer.Receive(5000), Framed(VANTORMESSAGETYPE_REPLY));
    EXPECT_EQ(std::future_status::timeout, broadcast.wait_for(std::chrono::milliseconds(100)));
    EXPECT_EQ(VantorServer_Delete(&host.server), 1);
    EXPECT_EQ(broadcast.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(StuckPeer, SendThatMakesNoProgressFailsAndShutsTheConnectionDown) {
    FastTime shortLimits;
    Stuck connection(true);
    EXPECT_EQ(0, VantorMessageAgent_SendMessage(connection.agent, 17, kLarge.c_str()));
    EXPECT_TRUE(connection.log.Has("WARNING: Failed to send to socket.\n"));
    EXPECT_TRUE(connection.peer->WaitForClose());
}

TEST(StuckPeer, AgentDeleteEndsABlockedSendOrItsOwnCallbackAndReleasesEverything) {
    std::async(std::launch::async, [] {}).wait();  // a sanitizer's helper thread starts with the first thread
    const long threads = Entries("/proc/self/task"), descriptors = Entries("/proc/self/fd");
    for (const bool fromCallback : {false, true}) {
        Stuck connection(true);
        if (fromCallback) {
            VantorMessageAgent_SetMessageArrivedCallback(connection.agent, &connection, DeleteOwnAgent);
            EXPECT_TRUE(connection.peer->Send(17, "bye"));
            EXPECT_TRUE(WaitUntil([&] { return connection.deleted.load() == 1; }));
        } else {
            auto send = std::async(std::launch::async, [a = connection.agent] {
                return VantorMessageAgent_SendMessage(a, 17, kLarge.c_str());
            });
            ASSERT_EQ(std::future_status::timeout, send.wait_for(std::chrono::milliseconds(300)));
            connection.CloseOwn();
            VantorMessageAgent_Delete(&connection.agent);
            ASSERT_EQ(std::future_status::ready, send.wait_for(std::chrono::seconds(5)));
            EXPECT_EQ(0, send.get());
        }
        EXPECT_TRUE(connection.peer->WaitForClose()) << fromCallback;
        EXPECT_TRUE(connection.log.Lacks("failed to shut down")) << fromCallback;
    }
    WaitUntil([&] { return Entries("/proc/self/task") == threads && Entries("/proc/self/fd") == descriptors; });
    EXPECT_EQ(std::make_tuple(Entries("/proc/self/task"), Entries("/proc/self/fd")),
              std::make_tuple(threads, descriptors));
}

TEST(SocketOptions, NoneIsInheritedAndConnectionsSendAtOnce) {
    LogSession log;
    LoopbackPair pair;  // its near end accepted by the platform layer, as a server accepts
    VantorServer* server = nullptr;
    ASSERT_EQ(VantorServer_Create(&server), 1);
    ASSERT_EQ(VantorServer_Start(server, 0), 1);
    VantorClient* client = VantorClient_Init();
    ASSERT_TRUE(VantorClient_Start(client, VantorServer_BoundPort(server)));
    // A client is listed before its agent has started.
    WaitUntil([&] {
        const auto agents = VantorServer_ClientAgents(server);
        return agents.size() == 1 && LinkOf(agents[0]) != Tamber::kNoSocket;
    });
    ASSERT_EQ(1u, VantorServer_ClientAgents(server).size());

    // The listening socket stands for every socket opened: the inheritance flag is set when one is made.
    const struct {
        const char* kind;
        Tamber::Socket socket;
        bool noDelay;
    } sockets[] = {{"listening", VantorServer_ListeningSocket(server), false},
                   {"accepted", pair.Near(), false},
                   {"server's accepted, duplicated by its agent", LinkOf(VantorServer_ClientAgents(server)[0]), true},
                   {"client's connected, duplicated by its agent", LinkOf(VantorClient_Agent(client)), true}};
    for (const auto& socket : sockets) {
        ASSERT_NE(Tamber::kNoSocket, socket.socket) << socket.kind;
        EXPECT_FALSE(Inheritable(socket.socket)) << socket.kind;
        EXPECT_EQ(Option(socket.socket, IPPROTO_TCP, TCP_NODELAY), socket.noDelay) << socket.kind;
    }
    EXPECT_EQ(kReuseAddress, Option(VantorServer_ListeningSocket(server), SOL_SOCKET, SO_REUSEADDR));
    VantorClient_Delete(&client);
    VantorServer_Delete(&server);
}
