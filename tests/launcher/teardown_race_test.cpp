// The controller's broadcasts against Remove: a peer that never reads does
// not hold Remove up, and a broadcast to the null server overlapping Remove
// touches nothing freed (the sanitizer tiers watch).
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "launcher_fixture.h"

namespace TamberTest {

TEST_F(Launcher, RemoveIsNotHeldUpByAGamePeerThatNeverReads) {
    Connect();
    const auto gamePeer = ConnectListed(gamePort);
    // More than the connection's buffers hold: the forward to the game waits for it.
    airPeer->Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, std::string(12 * 1024 * 1024, 'x'));
    ASSERT_TRUE(log.Has("ReceiveMessage [VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME]"));
    auto removal = std::async(std::launch::async, VantorServerController_Remove);
    EXPECT_EQ(std::future_status::ready, removal.wait_for(std::chrono::seconds(9)));
}

TEST_F(Launcher, NullServerBroadcastRacingRemoveTouchesNothingFreed) {
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(1, Init());
        std::atomic<bool> done{false};
        std::thread broadcaster([&] {
            while (!done.load()) VantorServer_SendMessageToAllClients(nullptr, VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "x");
        });
        Tamber::SleepMilliseconds(50);
        EXPECT_EQ(1, VantorServerController_Remove());
        done = true;
        broadcaster.join();
    }
}

}  // namespace TamberTest
