// The game side's client against a real server.
#include <gtest/gtest.h>

#include "messaging/agent_record.h"
#include "messaging/client.h"
#include "messaging/server.h"
#include "messaging_test_support.h"
#include "test_support.h"

namespace TamberTest {
namespace {

class ClientTest : public testing::Test {
protected:
    void SetUp() override {
        client = VantorClient_Init();
        ASSERT_NE(client, nullptr);
        VantorMessageAgent_SetMessageArrivedCallback(VantorClient_Agent(client), &clientRecorder, Recorder::Callback);
        ASSERT_EQ(VantorServer_Create(&server), 1);
        VantorServer_SetMessageArrivedCallback(server, &serverRecorder, Recorder::Callback);
    }
    void TearDown() override {
        VantorClient_Delete(&client);
        VantorServer_Delete(&server);
    }

    uint16_t StartServer(uint16_t port = 0) {
        EXPECT_EQ(VantorServer_Start(server, port), 1);
        return VantorServer_BoundPort(server);
    }
    bool LogHas(const std::string& text) {
        return WaitUntil([&] { return log.Text().find(OnDisk(text)) != std::string::npos; });
    }

    LogSession log;
    Recorder clientRecorder, serverRecorder;
    VantorServer* server = nullptr;
    VantorClient* client = nullptr;
};

TEST_F(ClientTest, MessagesGoBothWays) {
    ASSERT_EQ(VantorClient_Start(client, StartServer()), 1);
    ASSERT_EQ(VantorMessageAgent_SendMessage(VantorClient_Agent(client), VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, nullptr), 1);
    ASSERT_TRUE(serverRecorder.WaitFor(1));
    EXPECT_EQ(serverRecorder.Deliveries()[0].type, VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED);

    ASSERT_EQ(VantorServer_SendMessageToAllClients(server, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "gg"), 1);
    ASSERT_TRUE(WaitUntil([&] { return clientRecorder.CountOf(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME) == 1; }));
    EXPECT_EQ(clientRecorder.CountOf(VANTORMESSAGETYPE_REPLY), 1u);
}

// Each failed attempt is reported; a later one, once a server listens, connects.
TEST_F(ClientTest, StartAgainstAClosedPortFailsEveryTimeUntilAServerListens) {
    const uint16_t port = FreePort();
    EXPECT_EQ(VantorClient_Start(client, port), 0);
    EXPECT_EQ(VantorClient_Start(client, port), 0);
    EXPECT_TRUE(LogHas("INFO: [VantorClient_Start] "));
    EXPECT_EQ(CountOf(log.Text(), OnDisk("ERROR: Unable to connect to server.\n")), 2u);
    int32_t running = 1;
    VantorMessageAgent_GetIsRunning(VantorClient_Agent(client), &running);
    EXPECT_EQ(running, 0);

    StartServer(port);
    EXPECT_EQ(VantorClient_Start(client, port), 1);
}

TEST_F(ClientTest, StartTwiceIsRefusedAndTheConnectionStays) {
    const uint16_t port = StartServer();
    ASSERT_EQ(VantorClient_Start(client, port), 1);
    EXPECT_EQ(VantorClient_Start(client, port), 0);
    EXPECT_TRUE(LogHas("ERROR: This client has already been started.\n"));
    ASSERT_EQ(VantorMessageAgent_SendMessage(VantorClient_Agent(client), 12, "still"), 1);
    ASSERT_TRUE(serverRecorder.WaitFor(1));
    EXPECT_EQ(VantorServer_ClientAgents(server).size(), 1u);
}

TEST_F(ClientTest, DeleteWhileConnectedEndsTheServersSideWithoutShutdownWarnings) {
    ASSERT_EQ(VantorClient_Start(client, StartServer()), 1);
    ASSERT_TRUE(WaitUntil([&] { return VantorServer_ClientAgents(server).size() == 1; }));
    // Held, so that pruning cannot free it while the test looks.
    const std::shared_ptr<VantorMessageAgent> serverSide = VantorServer_ClientAgents(server)[0]->self;
    EXPECT_EQ(VantorClient_Delete(&client), 1);
    EXPECT_EQ(client, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return serverSide->heartbeatActive.load() == 0; }));
    EXPECT_EQ(log.Text().find("failed to shut down"), std::string::npos);
}

TEST_F(ClientTest, DeleteOfANeverStartedClientIsQuiet) {
    EXPECT_EQ(VantorClient_Delete(&client), 1);
    EXPECT_EQ(client, nullptr);
    EXPECT_EQ(log.Text().find("WARNING"), std::string::npos);
}

}  // namespace
}  // namespace TamberTest
