// A test game: takes the game server's port, the launcher path, the Air path
// and the Air client's arguments from its command line, reports LAUNCHED,
// answers each chat line with "pong:<line>", and on a close request, or on
// "stopped" in game-commands.txt, reports STOPPED and exits.
#include <atomic>
#include <cstdlib>
#include <string>

#include "TamberLauncher.h"
#include "platform/clock.h"
#include "puppet.h"

namespace {

Puppet::EventFile g_events("game-events.txt");
std::atomic<bool> g_closeRequested{false};

void VANTOR_CALL OnChat(void*, const char* text) {
    g_events.Record("chat " + Puppet::Text(text));
    VantorGameController_SendChatMessage(("pong:" + Puppet::Text(text)).c_str());
}

void VANTOR_CALL OnExit(void*) {
    g_events.Record("close");
    g_closeRequested.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    std::string arguments = "args";
    for (int i = 1; i < argc; ++i) arguments += std::string("|") + argv[i];
    g_events.Record(arguments);
    if (argc < 4) return 2;

    VantorGameController_Init(argv[2], argv[3]);
    VantorGameController_SetReceiveChatMessageCallback(nullptr, OnChat);
    VantorGameController_SetExitCallback(nullptr, OnExit);
    if (!VantorGameController_Start(std::atoi(argv[1]))) {
        g_events.Record("connect failed");
        return 3;
    }
    VantorGameController_SendGameLaunchedMessage();
    g_events.Record("launched");

    Puppet::CommandFile commands("game-commands.txt");
    for (int pass = 0; pass < 6000 && !g_closeRequested.load(); ++pass) {
        std::string line;
        if (commands.Next(line) && line == "stopped") break;
        Tamber::SleepMilliseconds(20);
    }
    VantorGameController_SendShutdownMessage();
    g_events.Record("stopped");
    VantorGameController_Remove();
    return 0;
}
