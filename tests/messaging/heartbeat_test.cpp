// Heartbeats between two agents, driven by the test clock.
#include <gtest/gtest.h>

#include "messaging/agent_record.h"
#include "raw_peer.h"
#include "platform/clock.h"
#include "test_support.h"

namespace TamberTest {
namespace {

class Heartbeats : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(VantorMessageAgent_Create(&nearAgent), 1);
        ASSERT_EQ(VantorMessageAgent_Create(&farAgent), 1);
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
        ASSERT_EQ(VantorMessageAgent_Start(nearAgent, pair.Near()), 1);
        ASSERT_EQ(VantorMessageAgent_Start(farAgent, pair.far.Handle()), 1);
        ASSERT_TRUE(WaitUntil([&] {
            return nearAgent->lastHeartbeatSeconds.load() != 0 && farAgent->lastHeartbeatSeconds.load() != 0;
        }));
        ASSERT_EQ(nearAgent->lastHeartbeatSeconds.load(), farAgent->lastHeartbeatSeconds.load());
        start = nearAgent->lastHeartbeatSeconds.load();
    }
    // Puts the clock at the start of the whole second `start + seconds`.
    void At(uint32_t seconds) { Tamber::TestClock::SetTicks((start + seconds) * 1000u); }

    FastTime time;
    LogSession log;
    LoopbackPair pair;
    Recorder nearRecorder, farRecorder;
    VantorMessageAgent* nearAgent = nullptr;
    VantorMessageAgent* farAgent = nullptr;
    uint32_t start = 0;
};

TEST_F(Heartbeats, GoBothWaysEveryTwentyFiveSecondsAnsweredAndUnlogged) {
    StartBoth(100000);
    At(24);
    EXPECT_FALSE(nearRecorder.WaitFor(1, 100));
    EXPECT_TRUE(farRecorder.Deliveries().empty());

    At(25);
    ASSERT_TRUE(nearRecorder.WaitFor(2));
    ASSERT_TRUE(farRecorder.WaitFor(2));
    EXPECT_EQ(nearRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 1u);
    EXPECT_EQ(nearRecorder.CountOf(VANTORMESSAGETYPE_REPLY), 1u);
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 1u);
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_REPLY), 1u);

    At(49);
    EXPECT_FALSE(nearRecorder.WaitFor(3, 100));
    At(50);
    ASSERT_TRUE(nearRecorder.WaitFor(4));
    ASSERT_TRUE(farRecorder.WaitFor(4));
    EXPECT_EQ(nearRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 2u);
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 2u);

    const std::string text = log.Text();
    EXPECT_EQ(text.find("HEARTBEAT"), std::string::npos);
    EXPECT_EQ(text.find("REPLY"), std::string::npos);
}

TEST_F(Heartbeats, NoneWhileTheFlagIsNotExactlyOneAndOneAtOnceWhenItIs) {
    VantorMessageAgent_SetHeartbeatActive(nearAgent, 2);
    int32_t active = 0;
    VantorMessageAgent_GetHeartbeatActive(nearAgent, &active);
    EXPECT_EQ(active, 2);
    StartBoth(100000);
    At(30);
    // The far agent's own heartbeat and its reply mark the time; none came from near.
    ASSERT_TRUE(nearRecorder.WaitFor(1));
    ASSERT_TRUE(farRecorder.WaitFor(1));
    EXPECT_FALSE(farRecorder.WaitFor(2, 100));
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 0u);

    VantorMessageAgent_SetHeartbeatActive(nearAgent, 1);
    ASSERT_TRUE(farRecorder.WaitFor(2));
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 1u);
}

TEST_F(Heartbeats, GoOnAcrossTheWrapOfTheMillisecondClock) {
    StartBoth(4294957000u);
    ASSERT_EQ(start, 4294957u);
    // 25 whole seconds later the clock has wrapped: 4294957 + 25 - 4294968 = 14.
    Tamber::TestClock::SetTicks(14000);
    ASSERT_TRUE(farRecorder.WaitFor(2));
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 1u);
    Tamber::TestClock::SetTicks(39000);
    ASSERT_TRUE(farRecorder.WaitFor(4));
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 2u);
}

}  // namespace
}  // namespace TamberTest
