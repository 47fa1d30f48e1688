// The game host: connects back to the launcher, reports its status, answers
// chat, and stops when the launcher asks it to close.
//
//   vantor-demo-game GAME_PORT LAUNCHER_PATH AIR_PATH [ARGUMENTS]
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "TamberLauncher.h"
#include "timeline.h"

namespace {

std::atomic<bool> g_closeRequested{false};

void VANTOR_CALL OnChat(void*, const char* text) {
    Timeline::Say("game", "chat from Air: %s", text ? text : "(none)");
    const std::string answer = std::string("hello Air, you said: ") + (text ? text : "");
    VantorGameController_SendChatMessage(answer.c_str());
    Timeline::Say("game", "sent VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME: %s", answer.c_str());
}

void VANTOR_CALL OnExit(void*) {
    Timeline::Say("game", "received VANTORMESSAGETYPE_CLOSE");
    g_closeRequested.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s GAME_PORT LAUNCHER_PATH AIR_PATH [ARGUMENTS]\n", argv[0]);
        return 2;
    }
    Vantor_Init("game");
    VantorGameController_Init(argv[2], argv[3]);
    VantorGameController_SetReceiveChatMessageCallback(nullptr, OnChat);
    VantorGameController_SetExitCallback(nullptr, OnExit);
    if (!VantorGameController_Start(std::atoi(argv[1]))) {
        Timeline::Say("game", "could not connect to the game server on port %s", argv[1]);
        return 1;
    }
    Timeline::Say("game", "connected to the game server on port %s (arguments: %s)", argv[1], argc > 4 ? argv[4] : "");
    VantorGameController_SendGameLaunchedMessage();
    Timeline::Say("game", "sent VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED");
    VantorGameController_SendGameConnectedToServerMessage();
    Timeline::Say("game", "sent VANTORMESSAGETYPE_GAMECLIENT_CONNECTED_TO_SERVER");

    for (int i = 0; i < 1800 && !g_closeRequested.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    VantorGameController_SendShutdownMessage();
    Timeline::Say("game", "sent VANTORMESSAGETYPE_GAMECLIENT_STOPPED; exiting");
    VantorGameController_Remove();
    Vantor_Remove();
    return 0;
}
