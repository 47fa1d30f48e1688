// A stand-in for the Air client: asks the launcher for the game, talks to it
// through the launcher, and closes the whole arrangement.
//
// The launcher starts it with "... -- AIR_PORT"; the port is the first word
// after "--".
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "TamberLauncher.h"
#include "socket_connect.h"
#include "timeline.h"

namespace {

std::atomic<bool> g_gameLaunched{false};
std::atomic<bool> g_gameAnswered{false};
std::atomic<bool> g_gameStopped{false};

int32_t VANTOR_CALL OnMessage(void*, int32_t type, const char* payload) {
    if (type == VANTORMESSAGETYPE_REPLY || type == VANTORMESSAGETYPE_HEARTBEAT) return 1;
    Timeline::Say("air", "received %s%s%s", Timeline::TypeName(type).c_str(), payload ? ": " : "",
                  payload ? payload : "");
    if (type == VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED) g_gameLaunched.store(true);
    if (type == VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME) g_gameAnswered.store(true);
    if (type == VANTORMESSAGETYPE_GAMECLIENT_STOPPED) g_gameStopped.store(true);
    return 1;
}

int PortAfterDashes(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--") return std::atoi(argv[i + 1]);
    return 0;
}

bool WaitFor(const std::atomic<bool>& flag, int seconds) {
    for (int i = 0; i < seconds * 10 && !flag.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return flag.load();
}

void Send(VantorMessageAgent* agent, int32_t type, const char* payload) {
    VantorMessageAgent_SendMessage(agent, type, payload);
    Timeline::Say("air", "sent %s%s%s", Timeline::TypeName(type).c_str(), payload ? ": " : "", payload ? payload : "");
}

}  // namespace

int main(int argc, char** argv) {
    Example::StartSockets();
    Vantor_Init("air");
    const int port = PortAfterDashes(argc, argv);
    const VantorSocket socket = Example::ConnectLoopback(port);
    if (socket == 0) {
        Timeline::Say("air", "could not connect to the Air server on port %d", port);
        return 1;
    }
    VantorMessageAgent* agent = nullptr;
    VantorMessageAgent_Create(&agent);
    VantorMessageAgent_SetMessageArrivedCallback(agent, nullptr, OnMessage);
    VantorMessageAgent_Start(agent, socket);
    Timeline::Say("air", "connected to the Air server on port %d", port);

    Send(agent, VANTORMESSAGETYPE_GAMECLIENT_CREATE, "-demo");
    Timeline::Say("air", "waiting for the game (its start takes about 10 s)");
    int status = 1;
    if (WaitFor(g_gameLaunched, 60)) {
        Send(agent, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hello game");
        if (WaitFor(g_gameAnswered, 30)) status = 0;
    }
    // VANTOR_DEMO_HOLD_SECONDS keeps every connection open a while longer, long
    // enough for heartbeats (every 25 s) to show on the wire.
    if (const char* hold = std::getenv("VANTOR_DEMO_HOLD_SECONDS")) {
        const int seconds = std::min(std::atoi(hold), 120);
        if (seconds > 0) {
            Timeline::Say("air", "holding the connections for %d s", seconds);
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
        }
    }
    Send(agent, VANTORMESSAGETYPE_CLOSE, nullptr);
    // Stay connected until the launcher passes on the game's end: it does so
    // once the game has gone, which takes a moment on a busy machine.
    if (status == 0 && !WaitFor(g_gameStopped, 30)) status = 1;
    Example::Disconnect(socket);
    VantorMessageAgent_Delete(&agent);
    Vantor_Remove();
    Example::StopSockets();
    Timeline::Say("air", "exiting");
    return status;
}
