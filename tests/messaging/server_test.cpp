// The server: start-up, broadcasts and their order, callbacks per client,
// Delete, and clients pruned once their connection ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "messaging/agent_record.h"
#include "messaging/server.h"
#include "messaging_test_support.h"
#include "test_support.h"

namespace TamberTest {
namespace {

class ServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(VantorServer_Create(&server), 1);
        VantorServer_SetMessageArrivedCallback(server, &recorder, Recorder::Callback);
    }
    void TearDown() override {
        if (server != nullptr) VantorServer_Delete(&server);
    }

    uint16_t Start() {
        EXPECT_EQ(VantorServer_Start(server, 0), 1);
        return VantorServer_BoundPort(server);
    }
    // Connects one more client and waits until the server lists it.
    Tamber::Socket Connect(uint16_t port) {
        const std::size_t before = VantorServer_ClientAgents(server).size();
        const Tamber::Socket socket = sockets.Add(ConnectTo(port));
        EXPECT_NE(socket, Tamber::kNoSocket);
        EXPECT_TRUE(WaitUntil([&] { return VantorServer_ClientAgents(server).size() == before + 1; }));
        return socket;
    }
    bool LogHas(const std::string& text) {
        return WaitUntil([&] { return log.Text().find(OnDisk(text)) != std::string::npos; });
    }

    LogSession log;
    Recorder recorder;
    SocketSet sockets;
    VantorServer* server = nullptr;
};

TEST_F(ServerTest, StartTwiceIsRefused) {
    Start();
    EXPECT_EQ(VantorServer_Start(server, 0), 0);
    EXPECT_TRUE(LogHas("ERROR: Server is already running.\n"));
}

TEST_F(ServerTest, StartOnAPortInUseFailsToBind) {
    const uint16_t port = Start();
    VantorServer* second = nullptr;
    ASSERT_EQ(VantorServer_Create(&second), 1);
    EXPECT_EQ(VantorServer_Start(second, port), 0);
    EXPECT_TRUE(LogHas("ERROR: Failed to bind server socket.\n"));
    EXPECT_EQ(VantorServer_Delete(&second), 1);
}

TEST_F(ServerTest, BroadcastBeforeStartFails) {
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "x"), 0);
    EXPECT_TRUE(LogHas("ERROR: Server cannot send messages until it is started.\n"));
}

TEST_F(ServerTest, BroadcastWithNoClientsSucceedsAndSaysSo) {
    Start();
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "x"), 1);
    EXPECT_TRUE(LogHas("INFO: No clients are currently connected.\n"));
}

TEST_F(ServerTest, BroadcastWithNullServerAndNoControllerFailsQuietly) {
    const std::string before = log.Text();
    EXPECT_EQ(VantorServer_SendMessageToAllClients(nullptr, 12, "x"), 0);
    EXPECT_EQ(log.Text(), before);
}

// Holding the middle client's send lock stops the broadcast there: the newest
// client has its message by then, the oldest does not yet.
TEST_F(ServerTest, BroadcastReachesTheNewestClientFirst) {
    const uint16_t port = Start();
    const Tamber::Socket oldest = Connect(port);
    const Tamber::Socket middle = Connect(port);
    const Tamber::Socket newest = Connect(port);
    const std::vector<VantorMessageAgent*> agents = VantorServer_ClientAgents(server);
    ASSERT_EQ(agents.size(), 3u);

    std::thread broadcast;
    {
        Tamber::ScopedLock hold(agents[1]->sendLock);
        broadcast = std::thread([&] { EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "all"), 1); });
        const auto first = ReadMessage(newest);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->payload, "all");
        EXPECT_FALSE(Readable(oldest, 100));
    }
    broadcast.join();
    for (Tamber::Socket socket : {middle, oldest}) {
        const auto message = ReadMessage(socket);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->payload, "all");
    }
}

TEST_F(ServerTest, CallbackSetAfterAcceptDoesNotReachThatClient) {
    VantorServer_SetMessageArrivedCallback(server, nullptr, nullptr);
    const uint16_t port = Start();
    const Tamber::Socket early = Connect(port);
    VantorServer_SetMessageArrivedCallback(server, &recorder, Recorder::Callback);
    const Tamber::Socket late = Connect(port);

    ASSERT_TRUE(SendBytes(early, HeaderBytes(16, 1, 12, 3) + "one"));
    ASSERT_TRUE(SendBytes(late, HeaderBytes(16, 1, 12, 3) + "two"));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_TRUE(LogHas("WARNING: Message arived, but there is no MessageArrivedCallback.\n"));
    for (Tamber::Socket socket : {early, late}) {
        const auto reply = ReadMessage(socket);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->type, VANTORMESSAGETYPE_REPLY);
    }
    ASSERT_EQ(recorder.Deliveries().size(), 1u);
    EXPECT_EQ(recorder.Deliveries()[0].payload, "two");
}

TEST_F(ServerTest, EndedClientsArePrunedAndBroadcastsStillSucceed) {
    const uint16_t port = Start();
    const Tamber::Socket staying = Connect(port);
    const Tamber::Socket leaving = sockets.Add(ConnectTo(port));
    ASSERT_TRUE(WaitUntil([&] { return VantorServer_ClientAgents(server).size() == 2; }));
    Tamber::ShutdownSocket(leaving);
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "still"), 1);
    EXPECT_TRUE(WaitUntil([&] { return VantorServer_ClientAgents(server).size() == 1; }));
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "still"), 1);
    const auto message = ReadMessage(staying);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->payload, "still");
}

TEST_F(ServerTest, DeleteOfANullServerFails) {
    VantorServer* none = nullptr;
    EXPECT_EQ(VantorServer_Delete(&none), 0);
    EXPECT_TRUE(LogHas("ERROR: VantorServer is not yet initialized.\n"));
}

TEST_F(ServerTest, DeleteOfANeverStartedServerFreesItQuietly) {
    EXPECT_EQ(VantorServer_Delete(&server), 1);
    EXPECT_EQ(server, nullptr);
    EXPECT_EQ(log.Text().find("WARNING"), std::string::npos);
}

TEST_F(ServerTest, DeleteEndsEveryClientsConnection) {
    const uint16_t port = Start();
    const Tamber::Socket first = Connect(port);
    const Tamber::Socket second = Connect(port);
    EXPECT_EQ(VantorServer_Delete(&server), 1);
    EXPECT_EQ(server, nullptr);
    EXPECT_TRUE(WaitForEnd(first));
    EXPECT_TRUE(WaitForEnd(second));
    EXPECT_EQ(log.Text().find("failed to shut down"), std::string::npos);
    EXPECT_EQ(ConnectTo(port), Tamber::kNoSocket);
}

#ifdef __linux__
std::size_t ThreadCount() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}
#endif

// Each connection that ends is pruned with its agent and both its threads.
// Every client waits for the reply to its heartbeat, so each was accepted.
TEST_F(ServerTest, ReconnectionStormLeavesNothingBehind) {
    const uint16_t port = Start();
#ifdef __linux__
    const std::size_t baseline = ThreadCount();
#endif
    for (int i = 0; i < 2000; ++i) {
        const Tamber::Socket socket = ConnectTo(port);
        ASSERT_NE(socket, Tamber::kNoSocket);
        ASSERT_TRUE(SendBytes(socket, HeaderBytes(16, 1, VANTORMESSAGETYPE_HEARTBEAT, 0)));
        const auto reply = ReadMessage(socket);
        Tamber::CloseSocket(socket);
        ASSERT_TRUE(reply);
    }
    EXPECT_TRUE(WaitUntil([&] { return VantorServer_ClientAgents(server).empty(); }, std::chrono::seconds(60)));
#ifdef __linux__
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == baseline; }, std::chrono::seconds(60)));
#endif
}

}  // namespace
}  // namespace TamberTest
