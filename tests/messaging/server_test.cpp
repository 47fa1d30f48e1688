// The server and the game side's client: start-up, broadcasts and their
// order, callbacks per client, Delete, and clients pruned once they end.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>

#include "messaging/agent_record.h"
#include "messaging/client.h"
#include "messaging/server.h"
#include "raw_peer.h"
#include "test_support.h"

namespace TamberTest {
namespace {

class Server : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(VantorServer_Create(&server), 1);
        VantorServer_SetMessageArrivedCallback(server, &recorder, Recorder::Callback);
    }
    void TearDown() override { peers.clear(), VantorServer_Delete(&server); }
    uint16_t Start(uint16_t port = 0) { return VantorServer_Start(server, port) == 1 ? VantorServer_BoundPort(server) : 0; }
    // Connects one more client and waits until the server lists it.
    RawPeer& Connect(uint16_t port) {
        const std::size_t before = VantorServer_ClientAgents(server).size();
        peers.push_back(std::make_unique<RawPeer>(port));
        EXPECT_TRUE(peers.back()->Connected());
        EXPECT_TRUE(WaitUntil([&] { return VantorServer_ClientAgents(server).size() == before + 1; }));
        return *peers.back();
    }

    LogSession log;
    Recorder recorder;
    std::vector<std::unique_ptr<RawPeer>> peers;
    VantorServer* server = nullptr;
};

TEST_F(Server, MisuseIsRefusedWithItsLine) {
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "x"), 0);
    EXPECT_TRUE(log.Has("ERROR: Server cannot send messages until it is started.\n"));
    const uint16_t port = Start();
    EXPECT_EQ(VantorServer_Start(server, 0), 0);
    EXPECT_TRUE(log.Has("ERROR: Server is already running.\n"));
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "x"), 1);
    EXPECT_TRUE(log.Has("INFO: No clients are currently connected.\n"));
    VantorServer* second = nullptr;
    ASSERT_EQ(VantorServer_Create(&second), 1);
    EXPECT_EQ(VantorServer_Start(second, port), 0);
    EXPECT_TRUE(log.Has("ERROR: Failed to bind server socket.\n"));
    EXPECT_TRUE(VantorServer_Delete(&second) == 1 && VantorServer_Delete(&second) == 0);
    EXPECT_TRUE(log.Has("ERROR: VantorServer is not yet initialized.\n"));
}

// Holding the middle client's send lock stops the broadcast there: the newest
// client has its message by then, the oldest does not yet. A callback set after
// a client was accepted does not reach that client.
TEST_F(Server, BroadcastReachesTheNewestClientFirstAndCallbacksFollowTheAccept) {
    VantorServer_SetMessageArrivedCallback(server, nullptr, nullptr);
    const uint16_t port = Start();
    RawPeer& oldest = Connect(port);
    VantorServer_SetMessageArrivedCallback(server, &recorder, Recorder::Callback);
    RawPeer &middle = Connect(port), &newest = Connect(port);
    const std::vector<VantorMessageAgent*> agents = VantorServer_ClientAgents(server);
    ASSERT_EQ(agents.size(), 3u);
    std::thread broadcast;
    {
        Tamber::ScopedLock hold(agents[1]->sendLock);
        broadcast = std::thread([&] { EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "all"), 1); });
        EXPECT_EQ(newest.Receive().value_or(WireMessage{}).payload, "all");
        EXPECT_FALSE(oldest.Readable(100));
    }
    broadcast.join();
    for (RawPeer* peer : {&middle, &oldest}) EXPECT_EQ(peer->Receive().value_or(WireMessage{}).payload, "all");
    ASSERT_TRUE(oldest.Send(12, "one") && newest.Send(12, "two") && recorder.WaitFor(1));
    EXPECT_TRUE(log.Has("WARNING: Message arived, but there is no MessageArrivedCallback.\n"));
    for (RawPeer* peer : {&oldest, &newest}) EXPECT_EQ(peer->Receive().value_or(WireMessage{}).type, VANTORMESSAGETYPE_REPLY);
    EXPECT_TRUE(recorder.Deliveries().size() == 1u && recorder.Deliveries()[0].payload == "two");
}

// Ended clients are pruned and broadcasts still succeed; Delete ends every
// remaining client's connection.
TEST_F(Server, EndedClientsArePrunedAndDeleteEndsTheRest) {
    VantorServer* never = nullptr;
    EXPECT_TRUE(VantorServer_Create(&never) == 1 && VantorServer_Delete(&never) == 1 && never == nullptr);
    const uint16_t port = Start();
    RawPeer &first = Connect(port), &second = Connect(port), &leaving = Connect(port);
    Tamber::ShutdownSocket(leaving.Handle());
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "still"), 1);
    EXPECT_TRUE(WaitUntil([&] { return VantorServer_ClientAgents(server).size() == 2; }));
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "still"), 1);
    for (RawPeer* peer : {&first, &second, &first, &second}) EXPECT_EQ(peer->Receive().value_or(WireMessage{}).payload, "still");
    EXPECT_TRUE(VantorServer_Delete(&server) == 1 && server == nullptr);
    EXPECT_TRUE(first.WaitForClose() && second.WaitForClose() && log.Lacks("failed to shut down"));
    EXPECT_FALSE(RawPeer(port).Connected());
}

std::size_t ThreadCount() {
    std::error_code error;
    return std::distance(std::filesystem::directory_iterator("/proc/self/task", error), std::filesystem::directory_iterator());
}

// Each connection that ends is pruned with its agent and both its threads.
// Every client waits for the reply to its heartbeat, so each was accepted.
TEST_F(Server, ReconnectionStormLeavesNothingBehind) {
    const uint16_t port = Start();
    const std::size_t baseline = ThreadCount();
    for (int i = 0; i < 2000; ++i) {
        RawPeer peer(port);
        ASSERT_TRUE(peer.Send(VANTORMESSAGETYPE_HEARTBEAT) && peer.Receive());
    }
    EXPECT_TRUE(WaitUntil([&] { return VantorServer_ClientAgents(server).empty(); }, std::chrono::seconds(60)));
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == baseline; }, std::chrono::seconds(60)));
}

// Each failed attempt is reported; a later one, once a server listens,
// connects; a second start is refused and the connection stays.
// Delete ends the server's side of it.
TEST_F(Server, ClientConnectsOnceAServerListensAndTalksBothWays) {
    VantorClient* client = VantorClient_Init();
    Recorder atClient;
    VantorMessageAgent_SetMessageArrivedCallback(VantorClient_Agent(client), &atClient, Recorder::Callback);
    const uint16_t port = FreePort();
    EXPECT_TRUE(VantorClient_Start(client, port) == 0 && log.Has("INFO: [VantorClient_Start] ") && log.Has("ERROR: Unable to connect to server.\n"));
    Start(port);
    ASSERT_TRUE(VantorClient_Start(client, port) == 1 && VantorClient_Start(client, port) == 0);
    ASSERT_TRUE(VantorMessageAgent_SendMessage(VantorClient_Agent(client), VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, nullptr) && recorder.WaitFor(1));
    ASSERT_TRUE(recorder.Deliveries()[0].type == VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED && VantorServer_ClientAgents(server).size() == 1u);
    ASSERT_EQ(VantorServer_SendMessageToAllClients(server, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "gg"), 1);
    ASSERT_TRUE(WaitUntil([&] { return atClient.CountOf(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME) == 1; }));
    // Held, so that pruning cannot free it while the test looks.
    const std::shared_ptr<VantorMessageAgent> serverSide = VantorServer_ClientAgents(server)[0]->self;
    EXPECT_TRUE(VantorClient_Delete(&client) == 1 && client == nullptr);
    EXPECT_TRUE(WaitUntil([&] { return serverSide->heartbeatActive.load() == 0; }) && log.Lacks("failed to shut down"));
}

}  // namespace
}  // namespace TamberTest
