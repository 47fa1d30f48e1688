// The message agent on one end of a loopback connection, the test speaking
// raw bytes on the other: wire bytes, header checks, replies before delivery,
// misuse, a peer that goes away, and Delete in the awkward moments. Then
// heartbeats between two agents, driven by the test clock; then the server:
// start-up, broadcasts and their order, callbacks per client, Delete, and
// clients pruned once they end.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "messaging/agent_record.h"
#include "messaging/server.h"
#include "platform/clock.h"
#include "raw_peer.h"
#include "test_support.h"

namespace TamberTest { namespace {

int32_t HeartbeatActive(VantorMessageAgent* agent) {
    int32_t active = -1;
    VantorMessageAgent_GetHeartbeatActive(agent, &active);
    return active;
}

int32_t IsRunning(VantorMessageAgent* agent) {
    int32_t running = 0;
    VantorMessageAgent_GetIsRunning(agent, &running);
    return running;
}

class Agent : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(VantorMessageAgent_Create(&agent), 1);
        VantorMessageAgent_SetMessageArrivedCallback(agent, &recorder, Recorder::Callback);
    }
    // Owners close the socket before they delete the agent.
    void TearDown() override {
        pair.CloseNear();
        VantorMessageAgent_Delete(&agent);
    }
    bool Start() { return VantorMessageAgent_Start(agent, pair.Near()) == 1; }
    // The heartbeat flag drops when the connection ends; the agent still counts as running.
    bool ConnectionEnded() { return WaitUntil([&] { return HeartbeatActive(agent) == 0; }) && IsRunning(agent) == 1; }
    void ExpectReply() { EXPECT_EQ(Header(pair.far.Receive()), std::make_pair(int32_t{VANTORMESSAGETYPE_REPLY}, 0)); }
    static std::pair<int32_t, int32_t> Header(const std::optional<WireMessage>& m) { return {m ? m->type : -1, m ? m->payloadLength : -1}; }

    LogSession log;
    LoopbackPair pair;
    Recorder recorder;
    VantorMessageAgent* agent = nullptr;
};

std::string Hex(const std::optional<std::string>& bytes) {
    std::string text;
    for (unsigned char byte : bytes.value_or("")) text += (text.empty() ? "" : " ") + std::string(1, "0123456789ABCDEF"[byte >> 4]) + "0123456789ABCDEF"[byte & 15];
    return text;
}

TEST_F(Agent, HeartbeatAndChatBytesOnTheWire) {
    FastTime time;
    Tamber::TestClock::SetTicks(100000);
    ASSERT_TRUE(Start());
    ASSERT_EQ(VantorMessageAgent_SendMessage(agent, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hi"), 1);
    EXPECT_EQ(Hex(pair.far.ReceiveBytes(18)), "10 00 00 00 01 00 00 00 0B 00 00 00 02 00 00 00 68 69");
    EXPECT_TRUE(log.Has("INFO: SendMessage [VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME]\n"));
    ASSERT_EQ(VantorMessageAgent_SendMessage(agent, 12, nullptr) + VantorMessageAgent_SendMessage(agent, 12, ""), 2);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Hex(pair.far.ReceiveBytes(16)), "10 00 00 00 01 00 00 00 0C 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitUntil([&] { return agent->lastHeartbeatSeconds.load() != 0; }));
    Tamber::TestClock::SetTicks(agent->lastHeartbeatSeconds.load() * 1000u + 25000u);
    EXPECT_EQ(Hex(pair.far.ReceiveBytes(16)), "10 00 00 00 01 00 00 00 04 00 00 00 00 00 00 00");
}

// A rejected message is consumed with its payload, delivered as type 35 and
// not answered; the next header is read in step.
TEST_F(Agent, RejectedMessagesAreDeliveredAsInvalidAndTheStreamStaysAligned) {
    const std::string type = "WARNING: Invalid message type.\n", size = "WARNING: Invalid message header size on incoming message.\n",
                      version = "WARNING: Invalid version on incoming message.\n";
    const struct { uint32_t headerSize, version; int32_t type; std::string warnings; } cases[] = {
        {20, 1, 12, size + type}, {16, 2, 12, version + type}, {0, 0, 12, size + version + type}, {16, 1, 35, type}, {16, 1, 1000, type}};
    std::size_t warnings = 0, delivered = 0;
    ASSERT_TRUE(Start());
    for (const auto& c : cases) {
        ASSERT_TRUE(pair.far.SendBytes(HeaderBytes(c.headerSize, c.version, c.type, 3) + "abc" + Encode(12, "next")));
        ASSERT_TRUE(recorder.WaitFor(delivered += 2));
        const auto got = recorder.Deliveries();
        EXPECT_EQ(got[got.size() - 2].type * 1000 + got.back().type, VANTORMESSAGETYPE_INVALID * 1000 + 12) << c.warnings;
        EXPECT_EQ(got[got.size() - 2].payload + got.back().payload, "abcnext");
        ExpectReply();
        EXPECT_FALSE(pair.far.Readable(100));
        EXPECT_TRUE(log.Has(c.warnings + "INFO: ReceiveMessage [VANTORMESSAGETYPE_INVALID]\n"));
        EXPECT_EQ(CountOf(log.Text(), "WARNING: "), warnings += CountOf(c.warnings, "WARNING: "));
    }
}

// A negative length reads nothing; a negative type is answered and delivered
// as it came; a payload above 16 MiB ends reading with one warning.
TEST_F(Agent, PayloadsArriveNulTerminatedOrAsNull) {
    const std::string big(100000, 'x');
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.far.SendBytes(Encode(12, "hello") + Encode(12) + HeaderBytes(16, 1, 12, -7) + Encode(11, big) + Encode(-1, "ok")));
    ASSERT_TRUE(recorder.WaitFor(5));
    const auto got = recorder.Deliveries();
    EXPECT_TRUE(got[0].payload == "hello" && !got[1].hasPayload && !got[2].hasPayload && got[3].payload == big &&
                got[4].type == -1 && got[4].payload == "ok");
    EXPECT_TRUE(log.Has("INFO: ReceiveMessage [VANTORMESSAGETYPE_INVALID]\n") && log.Lacks("WARNING: "));
    for (int i = 0; i < 5; ++i) ExpectReply();
    ASSERT_TRUE(pair.far.SendBytes(HeaderBytes(16, 1, 12, 16 * 1024 * 1024 + 1) + "some"));
    ASSERT_TRUE(log.Has("WARNING: Cannot take a payload of 16777217 bytes on incoming message; reading stops.\n"));
    EXPECT_TRUE(ConnectionEnded() && recorder.Deliveries().size() == 5u && !pair.far.Readable(50) &&
                CountOf(log.Text(), "WARNING: ") == 1u);
}

// The reply and the log line come before the callback, which may send on its
// own agent; a heartbeat is answered, a reply is not, and neither is logged;
// without a callback a message is answered and warned about.
TEST_F(Agent, RepliesComeBeforeTheCallbackAndAreNotLogged) {
    std::atomic<bool> replyWaiting{false}, lineWritten{false};
    recorder.SetHook([&](int32_t type, const char*) {
        if (type != VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME) return;
        replyWaiting = pair.far.Readable(0);
        lineWritten = !log.Lacks("INFO: ReceiveMessage [VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME]\n");
        VantorMessageAgent_SendMessage(agent, VANTORMESSAGETYPE_GAMECLIENT_STOPPED, "bye");
    });
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.far.Send(VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "yo"));
    ASSERT_TRUE(recorder.WaitFor(1));  // the hook looks for the reply before the test takes it
    ExpectReply();
    EXPECT_TRUE(pair.far.Receive().value_or(WireMessage{}).payload == "bye" && replyWaiting && lineWritten);
    ASSERT_TRUE(pair.far.SendBytes(Encode(5) + Encode(4)) && recorder.WaitFor(3));
    EXPECT_EQ(recorder.Deliveries()[1].type * 10 + recorder.Deliveries()[2].type, VANTORMESSAGETYPE_REPLY * 10 + VANTORMESSAGETYPE_HEARTBEAT);
    ExpectReply();
    EXPECT_FALSE(pair.far.Readable(100));
    EXPECT_EQ(CountOf(log.Text(), "SendMessage") + CountOf(log.Text(), "ReceiveMessage"), 2u);
    VantorMessageAgent_SetMessageArrivedCallback(agent, nullptr, nullptr);
    ASSERT_TRUE(pair.far.Send(12));
    ExpectReply();
    EXPECT_TRUE(log.Has("WARNING: Message arived, but there is no MessageArrivedCallback.\n") && CountOf(log.Text(), "ReceiveMessage") == 1u);
}

// Messages that arrive together, in pieces, or larger than one receive: each
// is answered before it is delivered, in order, with its payload intact.
TEST_F(Agent, BurstsAndTricklesAreAnsweredAndDeliveredOneByOne) {
    std::vector<std::pair<int32_t, std::string>> sent;
    for (std::size_t i = 0; i < 300; ++i) sent.push_back({i % 2 ? 8 : 11, i % 3 ? std::string(i * 7 % 61, static_cast<char>('a' + i % 26)) : ""});
    for (std::size_t length : {4079u, 4080u, 4095u, 4096u, 4097u, 10000u, 70000u, 1u})
        sent.insert(sent.end(), {{12, std::string(length, static_cast<char>('a' + length % 26))}, {4, ""}});
    const std::size_t burst = sent.size();
    sent.insert(sent.end(), {{11, "hello"}, {3, ""}, {11, "bye"}});
    std::atomic<std::size_t> repliesFirst{0};
    recorder.SetHook([&](int32_t, const char*) { repliesFirst += pair.far.Receive(5000).value_or(WireMessage{}).type == VANTORMESSAGETYPE_REPLY; });
    std::string bytes[2];
    ASSERT_TRUE(Start());
    for (std::size_t i = 0; i < sent.size(); ++i) bytes[i >= burst] += Encode(sent[i].first, sent[i].second);
    ASSERT_TRUE(pair.far.SendBytes(bytes[0]));
    for (const char byte : bytes[1]) {
        ASSERT_TRUE(pair.far.SendBytes(std::string(1, byte)));
        Tamber::SleepMilliseconds(1);
    }
    ASSERT_TRUE(recorder.WaitFor(sent.size()));
    const auto got = recorder.Deliveries();
    ASSERT_EQ(got.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_TRUE(got[i].type == sent[i].first && got[i].hasPayload == !sent[i].second.empty() && got[i].payload == sent[i].second) << i;
    EXPECT_EQ(repliesFirst.load(), sent.size());
}

// Socket 0 and INVALID_SOCKET are refused, Delete(NULL) succeeds; a handle that was never opened starts, and its first
// read and every send fail as the system reports.
TEST_F(Agent, MisuseIsRefusedWithItsLine) {
    EXPECT_EQ(VantorMessageAgent_Start(agent, 0) + VantorMessageAgent_Start(agent, Tamber::kNoSocket) + VantorMessageAgent_SendMessage(agent, 12, "x"), 0);
    EXPECT_TRUE(CountOf(log.Lines(), "ERROR: Socket cannot be null.\n") == 2u);
    EXPECT_EQ(VantorMessageAgent_Delete(nullptr), 1);
    EXPECT_TRUE(VantorMessageAgent_Start(agent, static_cast<Tamber::Socket>(0x7ffffff0)) == 1 && !Start());
    EXPECT_TRUE(log.Has("ERROR: This MessageAgent is already started.\n") && ConnectionEnded() &&
                log.Has("WARNING: Received 0 bytes on Vantor socket when data was expected.\n"));
    EXPECT_TRUE(VantorMessageAgent_SendMessage(agent, 12, "x") == 0 && log.Has("WARNING: Failed to send to socket.\n"));
}

// The end of the connection inside a buffered header delivers what came whole;
// later sends fail and are reported, without SIGPIPE. A reset is told apart.
TEST_F(Agent, PeerClosingMidHeaderEndsTheConnection) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.far.SendBytes(Encode(12, "hi") + Encode(12).substr(0, 10)));
    ExpectReply();  // taken first: unread bytes would turn the close into a reset
    pair.far.Close();
    EXPECT_TRUE(log.Has("INFO: [VantorMessageAgent_ReadFromSocketInternal] ") && ConnectionEnded() &&
                log.Has("WARNING: Received 0 bytes on Vantor socket when data was expected.\n"));
    EXPECT_TRUE(recorder.Deliveries().size() == 1u && recorder.Deliveries()[0].payload == "hi");
    EXPECT_TRUE(WaitUntil([&] { return VantorMessageAgent_SendMessage(agent, 12, "anyone?") == 0; }) &&
                log.Has("WARNING: Failed to send to socket.\n"));
}

TEST_F(Agent, PeerResetIsToldApart) {
    if (!ResetsAreDelivered()) GTEST_SKIP() << "this system turns a zero-linger close into an orderly one";
    ASSERT_TRUE(Start());
    pair.far.Reset();
    EXPECT_TRUE(log.Has("WARNING: Failed to read from Vantor socket buffer (this may indicate that the other side of "
                        "the connection has closed).\n"));
    EXPECT_TRUE(ConnectionEnded() && log.Lacks("Received 0 bytes"));
}

// Closed by its owner first or not, the agent stops both threads without
// warnings and never touches the owner's socket.
TEST_F(Agent, DeleteEndsBothThreadsWithoutWarnings) {
    EXPECT_TRUE(VantorMessageAgent_Delete(&agent) == 1 && agent == nullptr && log.Lacks("WARNING"));
    for (const bool ownerCloses : {true, false}) {
        LoopbackPair other;
        ASSERT_TRUE(VantorMessageAgent_Create(&agent) == 1 && VantorMessageAgent_Start(agent, other.Near()) == 1);
        std::weak_ptr<VantorMessageAgent> record = agent->self;
        if (ownerCloses) other.CloseNear();
        EXPECT_EQ(VantorMessageAgent_Delete(&agent), 1);
        EXPECT_TRUE(WaitUntil([&] { return record.expired(); }));
        EXPECT_TRUE(ownerCloses || (Tamber::SendGather(other.Near(), Encode(12).data(), 16, nullptr, 0) &&
                                    other.far.ReceiveBytes(16) == Encode(12)));
    }
    EXPECT_TRUE(log.Lacks("failed to shut down"));
}

TEST_F(Agent, DeleteWhileTheCallbackIsBlockedWarnsAndFreesOnlyAfterIt) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> entered{false};
    recorder.SetHook([&, released](int32_t, const char*) {
        entered = true;
        released.wait();
    });
    ASSERT_TRUE(Start() && pair.far.Send(12));
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    std::weak_ptr<VantorMessageAgent> record = agent->self;
    pair.CloseNear();
    EXPECT_EQ(VantorMessageAgent_Delete(&agent), 1);
    EXPECT_TRUE(log.Has("WARNING: SocketThread failed to shut down correctly.\n") && log.Lacks("HeartbeatThread failed"));
    EXPECT_FALSE(record.expired());
    release.set_value();
    EXPECT_TRUE(WaitUntil([&] { return record.expired(); }));
}

// Heartbeats between two agents, driven by the test clock.
class Heartbeats : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(VantorMessageAgent_Create(&nearAgent) + VantorMessageAgent_Create(&farAgent), 2);
        VantorMessageAgent_SetMessageArrivedCallback(nearAgent, &nearRecorder, Recorder::Callback);
        VantorMessageAgent_SetMessageArrivedCallback(farAgent, &farRecorder, Recorder::Callback);
    }
    void TearDown() override {
        Tamber::ShutdownSocket(pair.Near());
        Tamber::ShutdownSocket(pair.far.Handle());
        VantorMessageAgent_Delete(&nearAgent);
        VantorMessageAgent_Delete(&farAgent);
    }

    // Starts both with the clock at ticks; `start` is the whole second that
    // both heartbeat threads took as their first attempt.
    void StartBoth(uint32_t ticks) {
        Tamber::TestClock::SetTicks(ticks);
        ASSERT_EQ(VantorMessageAgent_Start(nearAgent, pair.Near()) + VantorMessageAgent_Start(farAgent, pair.far.Handle()), 2);
        ASSERT_TRUE(WaitUntil([&] { return nearAgent->lastHeartbeatSeconds.load() && farAgent->lastHeartbeatSeconds.load(); }));
        ASSERT_EQ(start = nearAgent->lastHeartbeatSeconds.load(), farAgent->lastHeartbeatSeconds.load());
    }

    FastTime time;
    LogSession log;
    LoopbackPair pair;
    Recorder nearRecorder, farRecorder;
    VantorMessageAgent *nearAgent = nullptr, *farAgent = nullptr;
    uint32_t start = 0;
};

// Every 25 whole seconds both ways, answered and unlogged, also across the
// wrap of the millisecond clock: 4294957 + 25 - 4294968 = 14.
TEST_F(Heartbeats, GoBothWaysEveryTwentyFiveSecondsAcrossTheWrap) {
    StartBoth(4294957000u);
    ASSERT_EQ(start, 4294957u);
    Tamber::TestClock::SetTicks(13000);
    EXPECT_FALSE(nearRecorder.WaitFor(1, 100));
    Tamber::TestClock::SetTicks(14000);
    ASSERT_TRUE(nearRecorder.WaitFor(2) && farRecorder.WaitFor(2));
    for (Recorder* recorder : {&nearRecorder, &farRecorder})
        EXPECT_TRUE(recorder->CountOf(VANTORMESSAGETYPE_HEARTBEAT) == 1u && recorder->CountOf(VANTORMESSAGETYPE_REPLY) == 1u);
    Tamber::TestClock::SetTicks(38000);
    EXPECT_FALSE(nearRecorder.WaitFor(3, 100));
    Tamber::TestClock::SetTicks(39000);
    ASSERT_TRUE(nearRecorder.WaitFor(4) && farRecorder.WaitFor(4));
    EXPECT_TRUE(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT) == 2u && log.Lacks("HEARTBEAT") && log.Lacks("REPLY"));
    // None while the flag is not exactly one, and one at once when it is again; far's own
    // heartbeat and its reply mark the time.
    VantorMessageAgent_SetHeartbeatActive(nearAgent, 2);
    EXPECT_EQ(2, HeartbeatActive(nearAgent));
    Tamber::TestClock::SetTicks(64000);
    ASSERT_TRUE(nearRecorder.WaitFor(5) && farRecorder.WaitFor(5));
    EXPECT_TRUE(!farRecorder.WaitFor(6, 100) && farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT) == 2u);
    VantorMessageAgent_SetHeartbeatActive(nearAgent, 1);
    EXPECT_TRUE(farRecorder.WaitFor(6) && farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT) == 3u);
}

class Server : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(VantorServer_Create(&server), 1);
        VantorServer_SetMessageArrivedCallback(server, &recorder, Recorder::Callback);
    }
    void TearDown() override {
        peers.clear();
        VantorServer_Delete(&server);
    }
    uint16_t Start(uint16_t port = 0) { return VantorServer_Start(server, port) == 1 ? VantorServer_BoundPort(server) : 0; }
    // Connects one more client and waits until the server lists it and its
    // agent runs: a client is listed just before its agent starts, and a
    // broadcast passes over an agent that has not started.
    RawPeer& Connect(uint16_t port) {
        const std::size_t before = VantorServer_ClientAgents(server).size();
        peers.push_back(std::make_unique<RawPeer>(port));
        EXPECT_TRUE(peers.back()->Connected() && WaitUntil([&] {
            const std::vector<VantorMessageAgent*> agents = VantorServer_ClientAgents(server);
            return agents.size() == before + 1 && IsRunning(agents[0]) == 1;
        }));
        return *peers.back();
    }

    LogSession log;
    Recorder recorder;
    std::vector<std::unique_ptr<RawPeer>> peers;
    VantorServer* server = nullptr;
};

TEST_F(Server, MisuseIsRefusedWithItsLine) {
    EXPECT_TRUE(VantorServer_SendMessageToAllClients(server, 12, "x") == 0 && log.Has("ERROR: Server cannot send messages until it is started.\n"));
    const uint16_t port = Start();
    EXPECT_TRUE(VantorServer_Start(server, 0) == 0 && log.Has("ERROR: Server is already running.\n"));
    EXPECT_TRUE(VantorServer_SendMessageToAllClients(server, 12, "x") == 1 && log.Has("INFO: No clients are currently connected.\n"));
    VantorServer* second = nullptr;
    ASSERT_EQ(VantorServer_Create(&second), 1);
    EXPECT_TRUE(VantorServer_Start(second, port) == 0 && log.Has("ERROR: Failed to bind server socket.\n"));
    EXPECT_TRUE(VantorServer_Delete(&second) == 1 && VantorServer_Delete(&second) == 0 && log.Has("ERROR: VantorServer is not yet initialized.\n"));
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
    EXPECT_TRUE(VantorServer_SendMessageToAllClients(server, 12, "still") && WaitUntil([&] { return VantorServer_ClientAgents(server).size() == 2; }));
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "still"), 1);
    for (RawPeer* peer : {&first, &second, &first, &second}) EXPECT_EQ(peer->Receive().value_or(WireMessage{}).payload, "still");
    EXPECT_TRUE(VantorServer_Delete(&server) == 1 && server == nullptr);
    EXPECT_TRUE(first.WaitForClose() && second.WaitForClose() && log.Lacks("failed to shut down"));
    EXPECT_FALSE(RawPeer(port).Connected());
}

}}  // namespace TamberTest
