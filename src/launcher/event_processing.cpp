// Supervision of the Air client and the game: heartbeat ages and liveness,
// checked from the host's loop, and the handlers of the launcher and game servers.
#include <string>

#include "frame/log.h"
#include "launcher/controller.h"
#include "messaging/wire.h"
#include "platform/clock.h"
#include "process/process_helper.h"

namespace {

int32_t IsRunning(int32_t processType) {
    int32_t running = 0;
    VantorProcessHelper_IsProcessRunning(processType, &running);
    return running;
}

// The game said it is ending: give it 20 s to go by itself, then kill it by name.
void AnnouncedGameExit(VantorServerControllerStruct& controller, int32_t messageType) {
    controller.gameExitAnnounced.store(1);
    // A copy: another Air connection's launch may switch the game path meanwhile.
    const std::string gamePath = CopyProcessPath(VANTORPROCESSTYPE_GAME);
    const int32_t ended = WaitForProcessExitByName(gamePath.c_str());
    if (IsRemoving(controller)) return;
    if (ended == 0) VantorProcessHelper_KillProcess(VANTORPROCESSTYPE_GAME);
    Broadcast(controller, ServerKind::Air, messageType, nullptr);
}

void SuperviseAir(VantorServerControllerStruct& controller, uint32_t now, int32_t airRunning, int32_t gameRunning) {
    const uint32_t silence = Tamber::SecondsBetween(controller.airLastHeartbeat.load(), now);
    if (airRunning && silence < kSilenceLimitSeconds) return;
    // A lost Air client is the host's error only while no game runs.
    if (!gameRunning &&
        !ReportError(controller, VANTORERRORTYPE_AIRHEARTBEAT,
                     airRunning ? "Contact with Air lost  version 1.\n" : "Contact with Air lost version 2.\n"))
        return;
    VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_AIR, kStopGraceMs);
    if (!IsRemoving(controller)) CallExit(controller);
}

void SuperviseGame(VantorServerControllerStruct& controller, uint32_t now, int32_t gameRunning) {
    if (gameRunning) {
        if (Tamber::SecondsBetween(controller.gameLastHeartbeat.load(), now) >= kSilenceLimitSeconds)
            VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, kStopGraceMs);
    } else if (controller.gameWasRunning.load() == 1 && controller.gameExitAnnounced.load() == 0) {
        Broadcast(controller, ServerKind::Air, VANTORMESSAGETYPE_GAMECLIENT_CRASHED, nullptr);
    }
}

}  // namespace

void EndRun(VantorServerControllerStruct& controller, uint32_t graceMs) {
    VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, graceMs);
    if (IsRemoving(controller)) return;
    VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_AIR, graceMs);
    if (!IsRemoving(controller)) CallExit(controller);
}

int32_t VANTOR_CALL OnLauncherServerMessage(void* context, int32_t messageType, const char*) {
    Step controller(context);
    if (!controller) return 1;
    if (messageType == VANTORMESSAGETYPE_LAUNCHERCLIENT)
        VantorLog_Message(kLogInfo, "Received VANTORMESSAGETYPE_LAUNCHERCLIENT\n");
    else if (messageType == VANTORMESSAGETYPE_INVALID)
        EndRun(*controller, kStopGraceMs);  // the stream is corrupt
    return 1;
}

int32_t VANTOR_CALL OnGameServerMessage(void* context, int32_t messageType, const char* payload) {
    Step controller(context);
    if (!controller) return 1;
    switch (messageType) {
        case VANTORMESSAGETYPE_GAMECLIENT_STOPPED:
        case VANTORMESSAGETYPE_GAMECLIENT_ABANDONED:
            AnnouncedGameExit(*controller, messageType);
            break;
        case VANTORMESSAGETYPE_HEARTBEAT:
            controller->gameLastHeartbeat.store(Tamber::GetElapsedSeconds());
            break;
        case VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED:
        case VANTORMESSAGETYPE_GAMECLIENT_VERSION_MISMATCH:
        case VANTORMESSAGETYPE_GAMECLIENT_CONNECTED_TO_SERVER:
        case VANTORMESSAGETYPE_GAMECLIENT_INITIAL_PRELOAD_COMPLETE:
        case VANTORMESSAGETYPE_GAMECLIENT_GAME_LOADING_COMPLETE:
            Broadcast(*controller, ServerKind::Air, messageType, nullptr);
            break;
        case VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME:
        case VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PLAYER_CONNECTION:
            Broadcast(*controller, ServerKind::Air, messageType, payload);
            break;
        case VANTORMESSAGETYPE_INVALID:
            EndRun(*controller, kStopGraceMs);  // the stream is corrupt
            break;
        default:
            break;
    }
    return 1;
}

extern "C" VANTOR_API int32_t VANTOR_CALL VantorServerController_ProcessEvents(void) {
    Step controller(Step::Missing::kLog);
    if (!controller) return 0;
    if (controller->started.load() != 1) return 1;

    const uint32_t now = Tamber::GetElapsedSeconds();
    const int32_t airRunning = IsRunning(VANTORPROCESSTYPE_AIR);
    const int32_t gameRunning = IsRunning(VANTORPROCESSTYPE_GAME);

    SuperviseAir(*controller, now, airRunning, gameRunning);
    // The exit callback may have removed the controller.
    if (IsRemoving(*controller)) return 1;

    SuperviseGame(*controller, now, gameRunning);
    controller->gameWasRunning.store(gameRunning);
    return 1;
}
