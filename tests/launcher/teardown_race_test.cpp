// The controller's broadcasts against Remove: a peer that never reads does
// not hold Remove up, and a broadcast to the null server overlapping Remove
// touches nothing freed (the sanitizer tiers watch).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "launcher_fixture.h"

namespace TamberTest {

TEST_F(Launcher, RemoveIsNotHeldUpByAGamePeerThatNeverReads) {
    InitAndStart();
    auto gamePeer = ConnectGame();
    auto airPeer = ConnectAir();
    // More than the connection's buffers hold: the forward to the game waits for it.
    airPeer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, std::string(12 * 1024 * 1024, 'x'));
    ASSERT_TRUE(WaitUntil([&] { return Log().find("ReceiveMessage [VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME]") != std::string::npos; }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(1, VantorServerController_Remove());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("Remove with a game peer that never reads: %.3f s\n", seconds);
    EXPECT_LT(seconds, 9.0);
}

TEST_F(Launcher, NullServerBroadcastRacingRemoveTouchesNothingFreed) {
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(1, Init());
        std::atomic<bool> done{false};
        std::thread broadcaster([&] {
            while (!done.load()) EXPECT_GE(1, VantorServer_SendMessageToAllClients(nullptr, VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "x"));
        });
        Tamber::SleepMilliseconds(50);
        EXPECT_EQ(1, VantorServerController_Remove());
        Tamber::SleepMilliseconds(20);
        done = true;
        broadcaster.join();
    }
    EXPECT_EQ(0, VantorServer_SendMessageToAllClients(nullptr, VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "x"));
}

}  // namespace TamberTest
