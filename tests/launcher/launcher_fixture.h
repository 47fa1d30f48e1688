// A launcher-side controller on free ports, with uniquely named copies of the
// test helper program as the launcher, the Air client and the game.
#pragma once

#include <gtest/gtest.h>

#include <atomic>

#include "child_program.h"
#include "platform/clock.h"
#include "raw_peer.h"

namespace TamberTest {

// What the host's callbacks saw: "<type>:<message>", the user data, and the
// log as it was when the first error arrived.
struct HostEvents {
    std::mutex lock;
    std::vector<std::string> errors;
    std::vector<void*> errorUserData;
    std::atomic<int> exits{0};
    std::string logAtFirstError, logPath;
    std::vector<std::string> Errors() {
        std::lock_guard<std::mutex> guard(lock);
        return errors;
    }
};

// Init registers the error callback without user data, so errors reach the
// current test's events through this pointer.
inline HostEvents* g_hostEvents = nullptr;

inline void VANTOR_CALL RecordExit(void* userData) { ++static_cast<HostEvents*>(userData)->exits; }

inline void VANTOR_CALL RecordError(void* userData, int32_t errorType, const char* message) {
    HostEvents* events = userData ? static_cast<HostEvents*>(userData) : g_hostEvents;
    std::lock_guard<std::mutex> guard(events->lock);
    if (events->errors.empty()) events->logAtFirstError = FromDisk(ReadFile(events->logPath));
    events->errors.push_back(std::to_string(errorType) + ":" + message);
    events->errorUserData.push_back(userData);
}

class Launcher : public testing::Test {
protected:
    Launcher() {
        do airPort = FreePort();
        while (airPort == launcherPort);
        do gamePort = FreePort();
        while (gamePort == launcherPort || gamePort == airPort);
        events.logPath = log.LogPath();
        g_hostEvents = &events;
    }
    ~Launcher() override {
        if (VantorServerController_GetAirServerHandle()) VantorServerController_Remove();
        g_hostEvents = nullptr;
    }

    int32_t Init(PatcherPathCallback patcherPath = nullptr) {
        return VantorServerController_Init(launcher.Path().c_str(), launcherPort, air.Path().c_str(), airPort,
                                           game.Path().c_str(), gamePort, &events, RecordExit, RecordError,
                                           patcherPath);
    }
    // Init and Start, and a raw Air client that the Air server has listed.
    void Connect(PatcherPathCallback patcherPath = nullptr) {
        ASSERT_EQ(1, Init(patcherPath));
        ASSERT_EQ(1, VantorServerController_Start());
        // Wine lists a process by name a moment after its start.
        ASSERT_TRUE(WaitUntil([&] { return (airIds = ProcessIdsNamed(air.Name())).size() == 1; }));
        airPeer = ConnectListed(airPort);
    }
    static std::unique_ptr<RawPeer> ConnectListed(uint16_t port) {
        auto peer = std::make_unique<RawPeer>(port);
        EXPECT_TRUE(peer->Connected());
        SendAndWait(*peer, VANTORMESSAGETYPE_PLAY_REPLAY);
        return peer;
    }
    // The next message to Air that is not a reply or heartbeat, within ms.
    std::optional<WireMessage> ToAir(uint32_t ms = 10000) { return airPeer->ReceiveSkippingReplies(ms); }
    // Sends messageType and waits until its handler has finished: a second
    // message's reply only leaves after the first message was handled.
    static void SendAndWait(RawPeer& peer, int32_t messageType, const std::string& payload = "") {
        peer.Send(messageType, payload);
        peer.Send(VANTORMESSAGETYPE_PLAY_REPLAY);
        for (int replies = 0; replies < 2;) {
            auto message = peer.Receive(60000);
            ASSERT_TRUE(message) << "no reply";
            replies += message->type == VANTORMESSAGETYPE_REPLY;
        }
    }
    // The process id and argv (after argv[0]) of the instance of program started last.
    static std::pair<uint32_t, std::vector<std::string>> Started(const ChildProgram& program) {
        std::vector<uint32_t> ids;
        ChildReport report;
        if (!WaitUntil([&] { return !(ids = ProcessIdsNamed(program.Name())).empty(); }) ||
            !program.WaitForReport(ids.back(), &report) || report.argv.empty())
            return {0, {"<none>"}};
        return {ids.back(), std::vector<std::string>(report.argv.begin() + 1, report.argv.end())};
    }

    LogSession log{"launcher"};
    FastTime time;
    ChildProgram launcher, air, game;
    uint16_t launcherPort = FreePort(), airPort = 0, gamePort = 0;
    HostEvents events;
    std::vector<uint32_t> airIds;
    std::unique_ptr<RawPeer> airPeer;
};

// A started controller with a listed Air client, on a frozen clock.
class Running : public Launcher {
protected:
    void SetUp() override {
        Tamber::TestClock::SetTicks(1000000u);
        Connect();
    }
    // Launches the game through the Air dispatcher and lets supervision see it running.
    uint32_t LaunchGame() {
        SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "-x");
        const uint32_t id = Started(game).first;
        VantorServerController_ProcessEvents();
        return id;
    }
};

}  // namespace TamberTest
