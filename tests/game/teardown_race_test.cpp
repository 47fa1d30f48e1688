// Sends of the game controller while another thread removes and makes it
// again: each send completes or returns 0; the sanitizer tiers catch any
// touch of freed memory.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TamberLauncher.h"
#include "raw_peer.h"
#include "test_support.h"

TEST(GameControllerTeardown, SendsRacingInitAndRemoveTouchNothingFreed) {
    TamberTest::LogSession log;
    VantorServer* server = nullptr;
    VantorServer_Create(&server);
    const uint16_t port = TamberTest::FreePort();
    ASSERT_EQ(1, VantorServer_Start(server, port));
    std::atomic<bool> done{false};
    std::thread sender([&] {
        while (!done.load()) {
            VantorGameController_SendChatMessage("hello");
            VantorGameController_SendGameLaunchedMessage();
        }
    });
    for (int round = 0; round < 200; ++round) {
        VantorGameController_Init("first.exe", "second.exe");
        VantorGameController_Start(port);
        if (round % 4 == 3) VantorGameController_Remove();
    }
    done = true;
    sender.join();
    VantorGameController_Remove();
    VantorServer_Delete(&server);
}
