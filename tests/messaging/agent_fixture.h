// An agent under test on the near end of a loopback pair, with a log and a
// recording callback; the test speaks raw bytes on the far end.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "TamberLauncher.h"
#include "messaging_test_support.h"
#include "test_support.h"

namespace TamberTest {

class AgentOnPair : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(VantorMessageAgent_Create(&agent), 1);
        VantorMessageAgent_SetMessageArrivedCallback(agent, &recorder, Recorder::Callback);
    }
    // Owners close the socket before they delete the agent.
    void TearDown() override {
        pair.CloseNear();
        if (agent != nullptr) VantorMessageAgent_Delete(&agent);
    }

    bool Start() { return VantorMessageAgent_Start(agent, pair.Near()) == 1; }

    // Waits until the log holds text (written with "\n" line ends).
    bool LogHas(const std::string& text) {
        return WaitUntil([&] { return log.Text().find(OnDisk(text)) != std::string::npos; });
    }
    bool LogLacks(const std::string& text) { return log.Text().find(OnDisk(text)) == std::string::npos; }

    std::optional<WireMessage> ReadMessage(uint32_t timeoutMs = 10000) { return TamberTest::ReadMessage(pair.Far(), timeoutMs); }

    LogSession log;
    LoopbackPair pair;
    Recorder recorder;
    VantorMessageAgent* agent = nullptr;
};

}  // namespace TamberTest
