// A launcher-side controller on free ports, with uniquely named copies of the
// test helper program as the launcher, the Air client and the game.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TamberLauncher.h"
#include "child_program.h"
#include "platform/clock.h"
#include "raw_peer.h"
#include "test_support.h"

namespace TamberTest {

// What the host's callbacks saw.
struct HostEvents {
    std::mutex lock;
    std::vector<std::string> errors;  // "<type>:<message>"
    std::vector<void*> errorUserData;
    std::atomic<int> exits{0};
    std::string logAtFirstError;  // the log as it was when the first error arrived
    std::string logPath;

    std::vector<std::string> Errors() {
        std::lock_guard<std::mutex> guard(lock);
        return errors;
    }
};

// Init registers the error callback without user data, so errors reach the
// current test's events through this pointer.
extern HostEvents* g_hostEvents;

void VANTOR_CALL RecordExit(void* userData);
void VANTOR_CALL RecordError(void* userData, int32_t errorType, const char* message);

// Sets an environment variable of this process (and of the children it starts).
void SetEnvironment(const char* name, const std::string& value);

// Three distinct free ports.
void PickPorts(uint16_t* launcher, uint16_t* air, uint16_t* game);

class Launcher : public testing::Test {
protected:
    Launcher() {
        PickPorts(&launcherPort, &airPort, &gamePort);
        events.logPath = log.LogPath();
        g_hostEvents = &events;
        air.SetLifetime(60);
        game.SetLifetime(60);
    }
    ~Launcher() override {
        if (VantorServerController_GetAirServerHandle()) VantorServerController_Remove();
        g_hostEvents = nullptr;
    }

    int32_t Init() {
        return VantorServerController_Init(launcher.Path().c_str(), launcherPort, air.Path().c_str(), airPort,
                                           game.Path().c_str(), gamePort, &events, RecordExit, RecordError, nullptr);
    }
    // Init and Start; the Air client (a helper copy) is running afterwards.
    void InitAndStart() {
        ASSERT_EQ(1, Init());
        ASSERT_EQ(1, VantorServerController_Start());
        airIds = ProcessIdsNamed(air.Name());
        ASSERT_EQ(1u, airIds.size());
    }
    std::string Log() const { return log.Lines(); }

    // A raw Air client, listed by the Air server once it has answered a message.
    std::unique_ptr<RawPeer> ConnectAir() { return ConnectListed(airPort); }
    std::unique_ptr<RawPeer> ConnectGame() { return ConnectListed(gamePort); }
    // Sends messageType and waits until its handler has finished: a second
    // message's reply only leaves after the first message was handled.
    static void SendAndWait(RawPeer& peer, int32_t messageType, const std::string& payload = "") {
        peer.Send(messageType, payload);
        peer.Send(VANTORMESSAGETYPE_PLAY_REPLAY);
        for (int replies = 0; replies < 2;) {
            auto message = peer.Receive(60000);
            ASSERT_TRUE(message) << "no reply";
            if (message->type == VANTORMESSAGETYPE_REPLY) ++replies;
        }
    }
    // The game's process id once the launcher recorded a running game.
    uint32_t RunningGameId() {
        std::vector<uint32_t> ids;
        WaitUntil([&] {
            ids = ProcessIdsNamed(game.Name());
            return !ids.empty();
        });
        return ids.empty() ? 0 : ids.back();
    }

    LogSession log{"launcher"};
    FastTime time;
    ChildProgram launcher;
    ChildProgram air;
    ChildProgram game;
    uint16_t launcherPort = 0;
    uint16_t airPort = 0;
    uint16_t gamePort = 0;
    HostEvents events;
    std::vector<uint32_t> airIds;

private:
    static std::unique_ptr<RawPeer> ConnectListed(uint16_t port) {
        auto peer = std::make_unique<RawPeer>(port);
        EXPECT_TRUE(peer->Connected());
        SendAndWait(*peer, VANTORMESSAGETYPE_PLAY_REPLAY);
        return peer;
    }
};

}  // namespace TamberTest
