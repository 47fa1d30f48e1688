#include <random>
#include <thread>

#include "launcher_fixture.h"

using namespace TamberTest;

namespace {

// One controller's life as its host sees it: over once a Remove that ended it has returned.
struct Life {
    std::atomic<bool> over{false};
};
std::atomic<int> g_callbacks{0};
std::atomic<int> g_lateCallbacks{0};

// Counts the callback, and whether it came after its controller's Remove returned, then removes.
void CallbackRemoves(void* life) {
    ++g_callbacks;
    if (life != nullptr && static_cast<Life*>(life)->over.load()) ++g_lateCallbacks;
    if (VantorServerController_Remove() == 1 && life != nullptr) static_cast<Life*>(life)->over = true;
}
void VANTOR_CALL ExitRemoves(void* life) { CallbackRemoves(life); }
void VANTOR_CALL ErrorRemoves(void* life, int32_t, const char*) { CallbackRemoves(life); }

}  // namespace

// Teardown under fire: peers send malformed headers, CLOSE, KILL, CREATE and
// chat while the host loops ProcessEvents and broadcasts to the null server,
// its callbacks remove the controller and another thread cycles Init and
// Remove. The sanitizer tiers watch.
TEST_F(Launcher, TeardownUnderFireIsCleanAndCallsNoHostBack) {
    game.SetLifetime(0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    const auto running = [&] { return std::chrono::steady_clock::now() < end; };
    std::atomic<int> finished{0};
    std::vector<std::unique_ptr<Life>> lives;
    std::thread cycler([&] {
        for (std::minstd_rand random(1); running();) {
            lives.push_back(std::make_unique<Life>());
            Life* life = lives.back().get();
            VantorServerController_Init(launcher.Path().c_str(), launcherPort, air.Path().c_str(), airPort,
                                        game.Path().c_str(), gamePort, life, ExitRemoves, ErrorRemoves, nullptr);
            VantorServerController_SetErrorMessageCallback(life, ErrorRemoves);
            VantorServerController_Start();
            Tamber::SleepMilliseconds(static_cast<uint32_t>(random() % 100));
            if (VantorServerController_Remove() == 1) life->over = true;
        }
        ++finished;
    });
    std::thread host([&] {
        while (running()) {
            VantorServerController_ProcessEvents();
            VantorServer_SendMessageToAllClients(nullptr, VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "x");
            Tamber::SleepMilliseconds(2);
        }
        ++finished;
    });
    const std::pair<int32_t, std::string> messages[] = {{VANTORMESSAGETYPE_CLOSE, ""},
                                                        {VANTORMESSAGETYPE_KILL_GAMECLIENT_PROCESS, ""},
                                                        {VANTORMESSAGETYPE_GAMECLIENT_CREATE, "-x"},
                                                        {VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hi"},
                                                        {VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "hi"},
                                                        {VANTORMESSAGETYPE_INVALID, ""}};
    std::vector<std::thread> peers;
    for (unsigned seed = 1; seed <= 2; ++seed)
        peers.emplace_back([&, seed] {
            for (std::minstd_rand random(seed); running();) {
                const uint16_t ports[] = {launcherPort, airPort, gamePort};
                RawPeer peer(ports[random() % 3]);
                const auto& [type, payload] = messages[random() % std::size(messages)];
                // A version that no agent accepts is the malformed header.
                peer.SendBytes(type == VANTORMESSAGETYPE_INVALID ? HeaderBytes(16, 2, 4, 0) : Encode(type, payload));
                peer.Receive(20);
            }
            ++finished;
        });
    const bool ended = WaitUntil([&] { return finished.load() == 4; }, std::chrono::seconds(60));
    ASSERT_TRUE(ended) << "a thread is stuck";
    for (std::thread& peer : peers) peer.join();
    host.join();
    cycler.join();
    EXPECT_GT(lives.size(), 1u);
    EXPECT_GT(g_callbacks.load(), 0);
    EXPECT_EQ(0, g_lateCallbacks.load());
}

// Launches on two Air connections switch the game path while the game's
// announced exits read it for their wait and kill by name (the thread
// sanitizer tier watches).
TEST_F(Running, TheGamePathIsReadAsACopyWhileLaunchesSwitchIt) {
    game.SetLifetime(0);
    constexpr int kRounds = 4;
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (uint16_t port : {airPort, airPort, gamePort}) peers.push_back(ConnectListed(port));
    std::vector<std::thread> senders;
    for (std::size_t index = 0; index < peers.size(); ++index)
        senders.emplace_back([&, index] {
            const bool isGame = index + 1 == peers.size();
            for (int round = 0; round < kRounds; ++round)
                SendAndWait(*peers[index],
                            isGame ? VANTORMESSAGETYPE_GAMECLIENT_STOPPED : VANTORMESSAGETYPE_GAMECLIENT_CREATE, "-x");
        });
    for (std::thread& sender : senders) sender.join();
    int stopped = 0;
    while (const auto message = ToAir(1000)) stopped += message->type == VANTORMESSAGETYPE_GAMECLIENT_STOPPED;
    EXPECT_EQ(kRounds, stopped);
}
