// The message agent on one end of a loopback connection, the test speaking
// raw bytes on the other: wire bytes, header checks, replies before delivery,
// misuse, a peer that goes away, and Delete in the awkward moments. Then
// heartbeats between two agents, driven by the test clock; then the server:
// start-up, broadcasts and their order, callbacks per client, Delete, and
// clients pruned once they end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "messaging/agent_record.h"
#include "messaging/server.h"
#include "messaging/wire.h"
#include "platform/clock.h"
#include "raw_peer.h"
#include "test_support.h"

namespace TamberTest {
namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::UnorderedElementsAre;
using namespace std::string_literals;

const WireMessage kReply = Framed(VANTORMESSAGETYPE_REPLY);
const Delivery kHeartbeatDelivered{VANTORMESSAGETYPE_HEARTBEAT, false, ""};
const Delivery kReplyDelivered{VANTORMESSAGETYPE_REPLY, false, ""};

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
    // The heartbeat flag and the running flag once the connection has ended:
    // the first drops to 0, the second stays 1.
    std::pair<int32_t, int32_t> FlagsOnceEnded() {
        WaitUntil([&] { return HeartbeatActive(agent) == 0; });
        return {HeartbeatActive(agent), IsRunning(agent)};
    }

    LogSession log;
    LoopbackPair pair;
    Recorder recorder;
    VantorMessageAgent* agent = nullptr;
};

TEST_F(Agent, HeartbeatAndChatBytesOnTheWire) {
    FastTime time;
    Tamber::TestClock::SetTicks(100000);
    ASSERT_TRUE(Start());
    ASSERT_EQ(VantorMessageAgent_SendMessage(agent, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hi"), 1);
    EXPECT_EQ(pair.far.ReceiveBytes(18), "\x10\0\0\0\x01\0\0\0\x0B\0\0\0\x02\0\0\0hi"s);
    EXPECT_TRUE(log.Has("INFO: SendMessage [VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME]\n"));
    ASSERT_EQ(VantorMessageAgent_SendMessage(agent, 12, nullptr), 1);
    ASSERT_EQ(VantorMessageAgent_SendMessage(agent, 12, ""), 1);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(pair.far.ReceiveBytes(16), "\x10\0\0\0\x01\0\0\0\x0C\0\0\0\0\0\0\0"s);
    ASSERT_TRUE(WaitUntil([&] { return agent->lastHeartbeatSeconds.load() != 0; }));
    Tamber::TestClock::SetTicks((agent->lastHeartbeatSeconds.load() + kHeartbeatSeconds) * 1000u);
    EXPECT_EQ(pair.far.ReceiveBytes(16), "\x10\0\0\0\x01\0\0\0\x04\0\0\0\0\0\0\0"s);
}

// A rejected message is consumed with its payload, delivered as type 35 and
// not answered; the next header is read in step.
TEST_F(Agent, RejectedMessagesAreDeliveredAsInvalidAndTheStreamStaysAligned) {
    const std::string type = "WARNING: Invalid message type.\n";
    const std::string size = "WARNING: Invalid message header size on incoming message.\n";
    const std::string version = "WARNING: Invalid version on incoming message.\n";
    const struct {
        uint32_t headerSize, version;
        int32_t type;
        std::string warnings;
    } cases[] = {{20, 1, 12, size + type},
                 {16, 2, 12, version + type},
                 {0, 0, 12, size + version + type},
                 {16, 1, 35, type},
                 {16, 1, 1000, type}};
    std::vector<Delivery> expected;
    std::size_t warnings = 0;
    ASSERT_TRUE(Start());
    for (const auto& c : cases) {
        ASSERT_TRUE(pair.far.SendBytes(HeaderBytes(c.headerSize, c.version, c.type, 3) + "abc" + Encode(12, "next")));
        expected.insert(expected.end(), {{VANTORMESSAGETYPE_INVALID, true, "abc"}, {12, true, "next"}});
        ASSERT_TRUE(recorder.WaitFor(expected.size()));
        EXPECT_THAT(recorder.Deliveries(), ElementsAreArray(expected)) << c.warnings;
        EXPECT_EQ(pair.far.Receive(), kReply);
        EXPECT_FALSE(pair.far.Readable(100));
        EXPECT_TRUE(log.Has(c.warnings + "INFO: ReceiveMessage [VANTORMESSAGETYPE_INVALID]\n"));
        EXPECT_EQ(CountOf(log.Text(), "WARNING: "), warnings += CountOf(c.warnings, "WARNING: "));
    }
}

// A negative length reads nothing; a negative type is answered and delivered
// as it came; a payload above 16 MiB ends reading with one warning.
TEST_F(Agent, OddLengthsAndTypesArriveAsTheyCame) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.far.SendBytes(HeaderBytes(16, 1, 12, -7) + Encode(-1, "ok")));
    ASSERT_TRUE(recorder.WaitFor(2));
    EXPECT_THAT(recorder.Deliveries(), ElementsAre(Delivery{12, false, ""}, Delivery{-1, true, "ok"}));
    EXPECT_TRUE(log.Has("INFO: ReceiveMessage [VANTORMESSAGETYPE_INVALID]\n"));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(pair.far.Receive(), kReply) << i;
    ASSERT_TRUE(pair.far.SendBytes(HeaderBytes(16, 1, 12, kMaxPayloadLength + 1) + "some"));
    ASSERT_TRUE(log.Has("WARNING: Cannot take a payload of 16777217 bytes on incoming message; reading stops.\n"));
    EXPECT_EQ(FlagsOnceEnded(), std::make_pair(0, 1));
    EXPECT_EQ(recorder.Deliveries().size(), 2u);
    EXPECT_FALSE(pair.far.Readable(50));
    EXPECT_EQ(CountOf(log.Text(), "WARNING: "), 1u);
}

// The log line comes before the callback, which may send on its own agent; a
// heartbeat is answered, a reply is not, and neither is logged; without a
// callback a message is answered and warned about.
TEST_F(Agent, TheLineComesBeforeTheCallbackAndRepliesAreNotLogged) {
    std::atomic<bool> lineWritten{false};
    recorder.SetHook([&](int32_t type, const char*) {
        if (type != VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME) return;
        lineWritten = !log.Lacks("INFO: ReceiveMessage [VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME]\n");
        VantorMessageAgent_SendMessage(agent, VANTORMESSAGETYPE_GAMECLIENT_STOPPED, "bye");
    });
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.far.Send(VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "yo"));
    EXPECT_EQ(pair.far.Receive(), kReply);
    EXPECT_EQ(pair.far.Receive(), Framed(VANTORMESSAGETYPE_GAMECLIENT_STOPPED, "bye"));
    EXPECT_TRUE(lineWritten);
    ASSERT_TRUE(pair.far.SendBytes(Encode(VANTORMESSAGETYPE_REPLY) + Encode(VANTORMESSAGETYPE_HEARTBEAT)));
    ASSERT_TRUE(recorder.WaitFor(3));
    EXPECT_THAT(recorder.Deliveries(), ElementsAre(Delivery{VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, true, "yo"},
                                                   kReplyDelivered, kHeartbeatDelivered));
    EXPECT_EQ(pair.far.Receive(), kReply);
    EXPECT_FALSE(pair.far.Readable(100));
    const std::string lines = log.Text();
    EXPECT_EQ(std::make_tuple(CountOf(lines, "SendMessage"), CountOf(lines, "ReceiveMessage")),
              std::make_tuple(1u, 1u));
    VantorMessageAgent_SetMessageArrivedCallback(agent, nullptr, nullptr);
    ASSERT_TRUE(pair.far.Send(12));
    EXPECT_EQ(pair.far.Receive(), kReply);
    EXPECT_TRUE(log.Has("WARNING: Message arived, but there is no MessageArrivedCallback.\n"));
    EXPECT_EQ(CountOf(log.Text(), "ReceiveMessage"), 1u);
}

// Messages that arrive together, in pieces, or larger than one receive: each
// is answered before it is delivered, in order, with its payload intact.
TEST_F(Agent, BurstsAndTricklesAreAnsweredAndDeliveredOneByOne) {
    std::vector<Delivery> sent;
    for (std::size_t i = 0; i < 300; ++i) {
        const std::string payload = i % 3 ? std::string(i * 7 % 61, static_cast<char>('a' + i % 26)) : "";
        sent.push_back({i % 2 ? 8 : 11, !payload.empty(), payload});
    }
    for (std::size_t length : {4079u, 4080u, 4095u, 4096u, 4097u, 10000u, 70000u, 1u})
        sent.insert(sent.end(),
                    {{12, true, std::string(length, static_cast<char>('a' + length % 26))}, {4, false, ""}});
    const std::size_t burst = sent.size();
    sent.insert(sent.end(), {{11, true, "hello"}, {3, false, ""}, {11, true, "bye"}});
    std::atomic<std::size_t> repliesFirst{0};
    recorder.SetHook([&](int32_t, const char*) { repliesFirst += pair.far.Receive(5000) == kReply; });
    std::string bytes[2];
    ASSERT_TRUE(Start());
    for (std::size_t i = 0; i < sent.size(); ++i) bytes[i >= burst] += Encode(sent[i].type, sent[i].payload);
    ASSERT_TRUE(pair.far.SendBytes(bytes[0]));
    for (const char byte : bytes[1]) {
        ASSERT_TRUE(pair.far.SendBytes(std::string(1, byte)));
        Tamber::SleepMilliseconds(1);
    }
    ASSERT_TRUE(recorder.WaitFor(sent.size()));
    EXPECT_THAT(recorder.Deliveries(), ElementsAreArray(sent));
    EXPECT_EQ(repliesFirst.load(), sent.size());
}

// Socket 0 and INVALID_SOCKET are refused, Delete(NULL) succeeds; a handle that was never opened starts, and its first
// read and every send fail as the system reports.
TEST_F(Agent, MisuseIsRefusedWithItsLine) {
    EXPECT_EQ(VantorMessageAgent_Start(agent, 0), 0);
    EXPECT_EQ(VantorMessageAgent_Start(agent, Tamber::kNoSocket), 0);
    EXPECT_EQ(VantorMessageAgent_SendMessage(agent, 12, "x"), 0);
    EXPECT_EQ(CountOf(log.Lines(), "ERROR: Socket cannot be null.\n"), 2u);
    EXPECT_EQ(VantorMessageAgent_Delete(nullptr), 1);
    EXPECT_EQ(VantorMessageAgent_Start(agent, static_cast<Tamber::Socket>(0x7ffffff0)), 1);
    EXPECT_FALSE(Start());
    EXPECT_TRUE(log.Has("ERROR: This MessageAgent is already started.\n"));
    EXPECT_EQ(FlagsOnceEnded(), std::make_pair(0, 1));
    EXPECT_TRUE(log.Has("WARNING: Received 0 bytes on Vantor socket when data was expected.\n"));
    EXPECT_EQ(VantorMessageAgent_SendMessage(agent, 12, "x"), 0);
    EXPECT_TRUE(log.Has("WARNING: Failed to send to socket.\n"));
}

// The end of the connection inside a buffered header delivers what came whole;
// later sends fail and are reported, without SIGPIPE. A reset is told apart.
TEST_F(Agent, PeerClosingMidHeaderEndsTheConnection) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.far.SendBytes(Encode(12, "hi") + Encode(12).substr(0, 10)));
    EXPECT_EQ(pair.far.Receive(), kReply);  // taken first: unread bytes would turn the close into a reset
    pair.far.Close();
    EXPECT_TRUE(log.Has("INFO: [VantorMessageAgent_ReadFromSocketInternal] "));
    EXPECT_EQ(FlagsOnceEnded(), std::make_pair(0, 1));
    EXPECT_TRUE(log.Has("WARNING: Received 0 bytes on Vantor socket when data was expected.\n"));
    EXPECT_THAT(recorder.Deliveries(), ElementsAre(Delivery{12, true, "hi"}));
    EXPECT_TRUE(WaitUntil([&] { return VantorMessageAgent_SendMessage(agent, 12, "anyone?") == 0; }));
    EXPECT_TRUE(log.Has("WARNING: Failed to send to socket.\n"));
}

TEST_F(Agent, PeerResetIsToldApart) {
    if (!ResetsAreDelivered()) GTEST_SKIP() << "this system turns a zero-linger close into an orderly one";
    ASSERT_TRUE(Start());
    pair.far.Reset();
    EXPECT_TRUE(
        log.Has("WARNING: Failed to read from Vantor socket buffer (this may indicate that the other side of "
                "the connection has closed).\n"));
    EXPECT_EQ(FlagsOnceEnded(), std::make_pair(0, 1));
    EXPECT_TRUE(log.Lacks("Received 0 bytes"));
}

// Never started, or with its owner's socket still open, the agent stops both
// threads without warnings and never touches the owner's socket.
TEST_F(Agent, DeleteEndsBothThreadsWithoutWarnings) {
    EXPECT_EQ(VantorMessageAgent_Delete(&agent), 1);
    EXPECT_EQ(agent, nullptr);
    ASSERT_EQ(VantorMessageAgent_Create(&agent), 1);
    ASSERT_TRUE(Start());
    std::weak_ptr<VantorMessageAgent> record = agent->self;
    EXPECT_EQ(VantorMessageAgent_Delete(&agent), 1);
    EXPECT_TRUE(WaitUntil([&] { return record.expired(); }));
    EXPECT_TRUE(Tamber::SendGather(pair.Near(), Encode(12).data(), 16, nullptr, 0));
    EXPECT_EQ(pair.far.ReceiveBytes(16), Encode(12));
    EXPECT_TRUE(log.Lacks("WARNING"));
}

TEST_F(Agent, DeleteWhileTheCallbackIsBlockedWarnsAndFreesOnlyAfterIt) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> entered{false};
    recorder.SetHook([&, released](int32_t, const char*) {
        entered = true;
        released.wait();
    });
    ASSERT_TRUE(Start());
    ASSERT_TRUE(pair.far.Send(12));
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    std::weak_ptr<VantorMessageAgent> record = agent->self;
    pair.CloseNear();
    EXPECT_EQ(VantorMessageAgent_Delete(&agent), 1);
    EXPECT_TRUE(log.Has("WARNING: SocketThread failed to shut down correctly.\n"));
    EXPECT_TRUE(log.Lacks("HeartbeatThread failed"));
    EXPECT_FALSE(record.expired());
    release.set_value();
    EXPECT_TRUE(WaitUntil([&] { return record.expired(); }));
}

// Heartbeats between the agent and a second one on the far end, driven by the
// test clock: every period both ways, answered and unlogged, also across the
// wrap of the millisecond clock. 4294967 is the last second before it, so the
// first heartbeat of agents started in second 4294957 is due in second
// 4294957 + kHeartbeatSeconds - 4294968.
TEST_F(Agent, HeartbeatsGoBothWaysEveryPeriodAcrossTheWrap) {
    FastTime time;
    Recorder farRecorder;
    VantorMessageAgent* far = nullptr;
    // The far agent goes first, its connection shut down so that its reader ends.
    const std::shared_ptr<void> deleteFar(nullptr, [&](void*) {
        Tamber::ShutdownSocket(pair.far.Handle());
        VantorMessageAgent_Delete(&far);
    });
    ASSERT_EQ(VantorMessageAgent_Create(&far), 1);
    VantorMessageAgent_SetMessageArrivedCallback(far, &farRecorder, Recorder::Callback);
    Tamber::TestClock::SetTicks(4294957000u);
    ASSERT_TRUE(Start());
    ASSERT_EQ(VantorMessageAgent_Start(far, pair.far.Handle()), 1);
    // Both heartbeat threads take the second they start in as their first attempt.
    WaitUntil([&] { return agent->lastHeartbeatSeconds.load() && far->lastHeartbeatSeconds.load(); });
    ASSERT_EQ(std::make_tuple(agent->lastHeartbeatSeconds.load(), far->lastHeartbeatSeconds.load()),
              std::make_tuple(4294957u, 4294957u));
    const uint32_t due = 4294957u + kHeartbeatSeconds - 4294968u;
    const auto setSecond = [](uint32_t second) { Tamber::TestClock::SetTicks(second * 1000u); };
    setSecond(due - 1);
    EXPECT_FALSE(recorder.WaitFor(1, 100));
    setSecond(due);
    ASSERT_TRUE(recorder.WaitFor(2));
    ASSERT_TRUE(farRecorder.WaitFor(2));
    for (Recorder* each : {&recorder, &farRecorder})
        EXPECT_THAT(each->Deliveries(), UnorderedElementsAre(kHeartbeatDelivered, kReplyDelivered));
    setSecond(due + kHeartbeatSeconds - 1);
    EXPECT_FALSE(recorder.WaitFor(3, 100));
    setSecond(due + kHeartbeatSeconds);
    ASSERT_TRUE(recorder.WaitFor(4));
    ASSERT_TRUE(farRecorder.WaitFor(4));
    EXPECT_TRUE(log.Lacks("HEARTBEAT"));
    // None while the flag is not exactly one, and one at once when it is again; far's own
    // heartbeat and its reply mark the time.
    VantorMessageAgent_SetHeartbeatActive(agent, 2);
    EXPECT_EQ(2, HeartbeatActive(agent));
    setSecond(due + 2 * kHeartbeatSeconds);
    ASSERT_TRUE(recorder.WaitFor(5));
    ASSERT_TRUE(farRecorder.WaitFor(5));
    EXPECT_FALSE(farRecorder.WaitFor(6, 100));
    EXPECT_THAT(farRecorder.Deliveries(), Contains(kHeartbeatDelivered).Times(2));
    VantorMessageAgent_SetHeartbeatActive(agent, 1);
    EXPECT_TRUE(farRecorder.WaitFor(6));
    EXPECT_THAT(farRecorder.Deliveries(), Contains(kHeartbeatDelivered).Times(3));
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
    uint16_t Start(uint16_t port = 0) {
        return VantorServer_Start(server, port) == 1 ? VantorServer_BoundPort(server) : 0;
    }
    // Connects one more client and waits until the server lists it and its
    // agent runs: a client is listed just before its agent starts, and a
    // broadcast passes over an agent that has not started.
    RawPeer& Connect(uint16_t port) {
        const std::size_t before = VantorServer_ClientAgents(server).size();
        peers.push_back(std::make_unique<RawPeer>(port));
        EXPECT_TRUE(peers.back()->Connected());
        WaitUntil([&] {
            const std::vector<VantorMessageAgent*> agents = VantorServer_ClientAgents(server);
            return agents.size() == before + 1 && IsRunning(agents[0]) == 1;
        });
        const std::vector<VantorMessageAgent*> agents = VantorServer_ClientAgents(server);
        EXPECT_EQ(before + 1, agents.size());
        EXPECT_EQ(1, IsRunning(agents.at(0)));
        return *peers.back();
    }

    LogSession log;
    Recorder recorder;
    std::vector<std::unique_ptr<RawPeer>> peers;
    VantorServer* server = nullptr;
};

// Misuse is refused with its line. Ended clients are pruned and broadcasts
// still succeed; Delete ends every remaining client's connection.
TEST_F(Server, MisuseIsRefusedWithItsLineAndEndedClientsArePruned) {
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "x"), 0);
    EXPECT_TRUE(log.Has("ERROR: Server cannot send messages until it is started.\n"));
    const uint16_t port = Start();
    EXPECT_EQ(VantorServer_Start(server, 0), 0);
    EXPECT_TRUE(log.Has("ERROR: Server is already running.\n"));
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "x"), 1);
    EXPECT_TRUE(log.Has("INFO: No clients are currently connected.\n"));
    VantorServer* other = nullptr;
    ASSERT_EQ(VantorServer_Create(&other), 1);
    EXPECT_EQ(VantorServer_Start(other, port), 0);
    EXPECT_TRUE(log.Has("ERROR: Failed to bind server socket.\n"));
    EXPECT_EQ(VantorServer_Delete(&other), 1);
    EXPECT_EQ(VantorServer_Delete(&other), 0);
    EXPECT_TRUE(log.Has("ERROR: VantorServer is not yet initialized.\n"));
    RawPeer &first = Connect(port), &second = Connect(port), &leaving = Connect(port);
    Tamber::ShutdownSocket(leaving.Handle());
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "still"), 1);
    EXPECT_TRUE(WaitUntil([&] { return VantorServer_ClientAgents(server).size() == 2; }));
    EXPECT_EQ(VantorServer_SendMessageToAllClients(server, 12, "still"), 1);
    for (RawPeer* peer : {&first, &second, &first, &second}) EXPECT_EQ(peer->Receive(), Framed(12, "still"));
    EXPECT_EQ(VantorServer_Delete(&server), 1);
    EXPECT_EQ(server, nullptr);
    EXPECT_TRUE(first.WaitForClose());
    EXPECT_TRUE(second.WaitForClose());
    EXPECT_TRUE(log.Lacks("failed to shut down"));
    EXPECT_FALSE(RawPeer(port).Connected());
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
        EXPECT_EQ(newest.Receive(), Framed(12, "all"));
        EXPECT_FALSE(oldest.Readable(100));
    }
    broadcast.join();
    for (RawPeer* peer : {&middle, &oldest}) EXPECT_EQ(peer->Receive(), Framed(12, "all"));
    ASSERT_TRUE(oldest.Send(12, "one"));
    ASSERT_TRUE(newest.Send(12, "two"));
    ASSERT_TRUE(recorder.WaitFor(1));
    for (RawPeer* peer : {&oldest, &newest}) EXPECT_EQ(peer->Receive(), kReply);
    EXPECT_THAT(recorder.Deliveries(), ElementsAre(Delivery{12, true, "two"}));
}

}  // namespace
}  // namespace TamberTest
