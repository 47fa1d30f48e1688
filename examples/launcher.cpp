// The launcher host: opens the three servers, starts the Air client, and
// supervises it and the game until the library says the run is over.
//
//   vantor-demo-launcher AIR_EXE GAME_EXE LAUNCHER_PORT AIR_PORT GAME_PORT
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "TamberLauncher.h"
#include "timeline.h"

namespace {

std::atomic<bool> g_runOver{false};

void VANTOR_CALL OnExit(void*) {
    Timeline::Say("launcher", "the run is over (exit callback)");
    g_runOver.store(true);
}

void VANTOR_CALL OnError(void*, int32_t errorType, const char* message) {
    char name[64];
    Vantor_ErrorToString(errorType, name, sizeof name);
    Timeline::Say("launcher", "error %s: %s", name, message);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s AIR_EXE GAME_EXE LAUNCHER_PORT AIR_PORT GAME_PORT\n", argv[0]);
        return 2;
    }
    Vantor_Init("launcher");
    const int32_t launcherPort = std::atoi(argv[3]);
    const int32_t airPort = std::atoi(argv[4]);
    const int32_t gamePort = std::atoi(argv[5]);

    if (!VantorServerController_Init(argv[0], launcherPort, argv[1], airPort, argv[2], gamePort, nullptr, OnExit,
                                     OnError, nullptr)) {
        Timeline::Say("launcher", "could not open the launcher server on port %d", launcherPort);
        return 1;
    }
    Timeline::Say("launcher", "servers ready: launcher %d, air %d, game %d", launcherPort, airPort, gamePort);
    if (!VantorServerController_VerifyAllNeededFilesExist()) {
        VantorServerController_Remove();
        Vantor_Remove();
        return 1;
    }
    Timeline::Say("launcher", "starting the Air client (process starts take about 10 s)");
    VantorServerController_Start();
    Timeline::Say("launcher", "Air client started; supervising");

    // Bounded: a demo run that has not ended in three minutes is stuck.
    for (int tick = 0; tick < 1800 && !g_runOver.load(); ++tick) {
        VantorServerController_ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    VantorServerController_Remove();
    Vantor_Remove();
    Timeline::Say("launcher", "removed; exiting");
    return g_runOver.load() ? 0 : 1;
}
