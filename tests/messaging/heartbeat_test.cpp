// Heartbeats between two agents, driven by the test clock.
#include <gtest/gtest.h>

#include "messaging/agent_record.h"
#include "platform/clock.h"
#include "raw_peer.h"
#include "test_support.h"

namespace TamberTest {
namespace {

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
        ASSERT_EQ(VantorMessageAgent_Start(nearAgent, pair.Near()), 1);
        ASSERT_EQ(VantorMessageAgent_Start(farAgent, pair.far.Handle()), 1);
        ASSERT_TRUE(WaitUntil([&] {
            return nearAgent->lastHeartbeatSeconds.load() != 0 && farAgent->lastHeartbeatSeconds.load() != 0;
        }));
        ASSERT_EQ(nearAgent->lastHeartbeatSeconds.load(), farAgent->lastHeartbeatSeconds.load());
        start = nearAgent->lastHeartbeatSeconds.load();
    }

    FastTime time;
    LogSession log;
    LoopbackPair pair;
    Recorder nearRecorder, farRecorder;
    VantorMessageAgent* nearAgent = nullptr;
    VantorMessageAgent* farAgent = nullptr;
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
    for (Recorder* recorder : {&nearRecorder, &farRecorder}) {
        EXPECT_EQ(recorder->CountOf(VANTORMESSAGETYPE_HEARTBEAT), 1u);
        EXPECT_EQ(recorder->CountOf(VANTORMESSAGETYPE_REPLY), 1u);
    }
    Tamber::TestClock::SetTicks(38000);
    EXPECT_FALSE(nearRecorder.WaitFor(3, 100));
    Tamber::TestClock::SetTicks(39000);
    ASSERT_TRUE(nearRecorder.WaitFor(4) && farRecorder.WaitFor(4));
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 2u);
    EXPECT_TRUE(log.Lacks("HEARTBEAT") && log.Lacks("REPLY"));
}

TEST_F(Heartbeats, NoneWhileTheFlagIsNotExactlyOneAndOneAtOnceWhenItIs) {
    VantorMessageAgent_SetHeartbeatActive(nearAgent, 2);
    int32_t active = 0;
    VantorMessageAgent_GetHeartbeatActive(nearAgent, &active);
    EXPECT_EQ(active, 2);
    StartBoth(100000);
    Tamber::TestClock::SetTicks((start + 30) * 1000u);
    // The far agent's own heartbeat and its reply mark the time; none came from near.
    ASSERT_TRUE(nearRecorder.WaitFor(1) && farRecorder.WaitFor(1));
    EXPECT_FALSE(farRecorder.WaitFor(2, 100));
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 0u);
    VantorMessageAgent_SetHeartbeatActive(nearAgent, 1);
    ASSERT_TRUE(farRecorder.WaitFor(2));
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 1u);
}

}  // namespace
}  // namespace TamberTest
