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
        Tamber::ShutdownSocket(pair.Near()), Tamber::ShutdownSocket(pair.far.Handle());
        VantorMessageAgent_Delete(&nearAgent), VantorMessageAgent_Delete(&farAgent);
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
    EXPECT_EQ(farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT), 2u);
    EXPECT_TRUE(log.Lacks("HEARTBEAT") && log.Lacks("REPLY"));
    // None while the flag is not exactly one, and one at once when it is again; far's own
    // heartbeat and its reply mark the time.
    VantorMessageAgent_SetHeartbeatActive(nearAgent, 2);
    int32_t active = 0;
    EXPECT_EQ((VantorMessageAgent_GetHeartbeatActive(nearAgent, &active), active), 2);
    Tamber::TestClock::SetTicks(64000);
    ASSERT_TRUE(nearRecorder.WaitFor(5) && farRecorder.WaitFor(5));
    EXPECT_TRUE(!farRecorder.WaitFor(6, 100) && farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT) == 2u);
    VantorMessageAgent_SetHeartbeatActive(nearAgent, 1);
    EXPECT_TRUE(farRecorder.WaitFor(6) && farRecorder.CountOf(VANTORMESSAGETYPE_HEARTBEAT) == 3u);
}

}  // namespace
}  // namespace TamberTest
