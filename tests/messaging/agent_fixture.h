// An agent under test on the near end of a loopback pair, with a log and a
// recording callback; the test speaks raw bytes on the far end.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
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

    // The next whole message on the far end: header fields and payload.
    struct Received {
        uint32_t headerSize, version;
        int32_t type, payloadLength;
        std::string payload;
    };
    std::optional<Received> ReadMessage(uint32_t timeoutMs = 10000) {
        const auto header = pair.ReadFar(16, timeoutMs);
        if (!header) return std::nullopt;
        Received message{};
        std::memcpy(&message.headerSize, header->data(), 4);
        std::memcpy(&message.version, header->data() + 4, 4);
        std::memcpy(&message.type, header->data() + 8, 4);
        std::memcpy(&message.payloadLength, header->data() + 12, 4);
        if (message.payloadLength > 0) {
            const auto payload = pair.ReadFar(static_cast<std::size_t>(message.payloadLength), timeoutMs);
            if (!payload) return std::nullopt;
            message.payload = *payload;
        }
        return message;
    }

    LogSession log;
    LoopbackPair pair;
    Recorder recorder;
    VantorMessageAgent* agent = nullptr;
};

}  // namespace TamberTest
