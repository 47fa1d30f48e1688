// Options of every kind of socket the library makes: none is inherited by a
// child that the host starts by other means, both ends of a connection send
// small messages at once, and a server's listening port is never shared.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#endif

#include <memory>

#include "messaging/agent_record.h"
#include "messaging/client.h"
#include "messaging/server.h"
#include "test_support.h"

namespace {

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
#ifdef _WIN32
    int length = sizeof value;
#else
    socklen_t length = sizeof value;
#endif
    return getsockopt(socket, level, name, reinterpret_cast<char*>(&value), &length) == 0 && value != 0;
}

#ifdef _WIN32
constexpr bool kReuseAddress = false;  // there it would let another socket bind the port in use
#else
constexpr bool kReuseAddress = true;  // only a quick rebind after a restart
#endif

Tamber::Socket LinkOf(VantorMessageAgent* agent) { return std::atomic_load(&agent->link)->connection; }

TEST(SocketOptions, NoneIsInheritedAndConnectionsSendAtOnce) {
    TamberTest::LogSession log;
    const Tamber::Socket listening = Tamber::OpenStreamSocket();
    ASSERT_TRUE(Tamber::BindLoopback(listening, 0) && Tamber::ListenForConnections(listening));
    const Tamber::Socket connected = Tamber::OpenStreamSocket();
    ASSERT_TRUE(Tamber::ConnectLoopback(connected, Tamber::LocalPort(listening)));
    const Tamber::Socket accepted = Tamber::AcceptConnection(listening);

    VantorServer* server = nullptr;
    ASSERT_TRUE(VantorServer_Create(&server) == 1 && VantorServer_Start(server, 0) == 1);
    VantorClient* client = VantorClient_Init();
    ASSERT_EQ(1, VantorClient_Start(client, VantorServer_BoundPort(server)));
    ASSERT_TRUE(TamberTest::WaitUntil([&] { return VantorServer_ClientAgents(server).size() == 1; }));

    const struct { const char* kind; Tamber::Socket socket; bool noDelay; } sockets[] = {
        {"listening", listening, false}, {"accepted", accepted, false}, {"connected", connected, false},
        {"server's accepted, duplicated by its agent", LinkOf(VantorServer_ClientAgents(server)[0]), true},
        {"client's connected, duplicated by its agent", LinkOf(VantorClient_Agent(client)), true}};
    for (const auto& socket : sockets) {
        ASSERT_NE(Tamber::kNoSocket, socket.socket) << socket.kind;
        EXPECT_TRUE(!Inheritable(socket.socket) && (!socket.noDelay || Option(socket.socket, IPPROTO_TCP, TCP_NODELAY))) << socket.kind;
    }
    EXPECT_EQ(kReuseAddress, Option(VantorServer_ListeningSocket(server), SOL_SOCKET, SO_REUSEADDR));
    VantorClient_Delete(&client), VantorServer_Delete(&server);
    for (Tamber::Socket socket : {listening, connected, accepted}) Tamber::CloseSocket(socket);
}

}  // namespace
