// The Air client's requests: game launches (also of a given version and
// preloaded), chat to the game, kill, close, and the game-version operations.
#include <cstring>
#include <string>
#include <vector>

#include "frame/log.h"
#include "launcher/controller.h"
#include "launcher/patcher_bridge.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "platform/strings.h"
#include "process/process_helper.h"

namespace {

constexpr int kEarlierGameChecks = 240;
constexpr uint32_t kEarlierGamePauseMs = 250;
constexpr uint32_t kCloseGraceMs = 60000;

const char* const kPreloadStart = "<KavPreloadMessageToGameStart>";
const char* const kPreloadEnd = "<KavPreloadMessageToGameEnd>";
const char* const kMessageTypeKey = "\"messageType\"";
const char* const kCommandLineKey = "\"commandLine\"";

const char* Text(const char* payload) { return payload ? payload : ""; }

int32_t IsGameRunning() {
    int32_t running = 0;
    VantorProcessHelper_IsProcessRunning(VANTORPROCESSTYPE_GAME, &running);
    return running;
}

// A formatted text in a buffer of exactly `size` bytes, truncating.
template <class... Args>
std::string FormatInto(std::size_t size, const char* format, Args... args) {
    std::vector<char> buffer(size > 0 ? size : 1, '\0');
    Tamber::std_snprintf(buffer.data(), buffer.size(), format, args...);
    return buffer.data();
}

// Launches the game at versionPath (null: the latest game) with the Air client's arguments.
void LaunchGame(VantorServerControllerStruct& controller, const char* args, const char* versionPath) {
    const std::string launcherPath = CopyProcessPath(VANTORPROCESSTYPE_LAUNCHER);
    const std::string airPath = CopyProcessPath(VANTORPROCESSTYPE_AIR);
    const std::string commandLine =
        FormatInto(airPath.size() + launcherPath.size() + std::strlen(args) + 20, "\"%d\" \"%s\" \"%s\" \"%s\"",
                   controller.gamePort, launcherPath.c_str(), airPath.c_str(), args);
    controller.gameLastHeartbeat.store(Tamber::GetElapsedSeconds());

    int32_t running = IsGameRunning();
    for (int check = 0; running && check < kEarlierGameChecks; ++check) {
        if (!Tamber::PauseUnlessInterrupted(kEarlierGamePauseMs)) return;
        running = IsGameRunning();
    }
    if (IsRemoving(controller)) return;
    if (running) {
        VantorLog_Message(kLogWarning,
                          "VANTORMESSAGETYPE_GAMECLIENT_CREATE message received while game is already running.");
        return;
    }

    if (versionPath)
        SetGamePath(versionPath);
    else
        RestoreDefaultGamePath();
    controller.gameExitAnnounced.store(0);

    const int32_t started = VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, commandLine.c_str());
    if (started == 1 || IsRemoving(controller)) return;
    if (ReportError(controller, VANTORERRORTYPE_GAMEPROCESSSTART, "Unable to start game.\n"))
        EndRun(controller, kStopGraceMs);
}

void LaunchGameVersion(VantorServerControllerStruct& controller, const char* payload) {
    if (payload == nullptr) return;
    std::string version = payload;
    std::string args;
    const std::size_t space = version.find(' ');
    if (space != std::string::npos) {
        args = version.substr(space + 1);
        version.resize(space);
    }
    char path[Tamber::kMaxPath] = {};
    const bool found = PatcherGameVersionToPath(controller, version.c_str(), path);
    // Woken from the wait for the patcher's load: the launch ends here.
    if (IsRemoving(controller)) return;
    if (found) {
        LaunchGame(controller, args.c_str(), path);
        return;
    }
    VantorLog_Formatted(kLogError, Tamber::kMaxPath, "Failed to get path for game version: %s, defaulting to latest\n",
                        version.c_str());
    LaunchGame(controller, args.c_str(), nullptr);
}

void Close(VantorServerControllerStruct& controller) {
    controller.started.store(0);
    Broadcast(controller, ServerKind::Game, VANTORMESSAGETYPE_CLOSE, nullptr);
    EndRun(controller, kCloseGraceMs);
}

void StartPreloadedGame(VantorServerControllerStruct& controller, const char* payload) {
    const std::string arguments = FormatInto(std::strlen(payload) + 50, "%s %s %d %d", "game_client_preload", payload,
                                             controller.airPort, controller.gamePort);
    RestoreDefaultGamePath();
    // Like a launch, a preloaded game gets a full heartbeat period and a fresh
    // exit record: otherwise supervision stops it at once or misses its crash.
    controller.gameLastHeartbeat.store(Tamber::GetElapsedSeconds());
    controller.gameExitAnnounced.store(0);
    VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_GAME, arguments.c_str());
}

void SendCredentialsToPreloadedGame(VantorServerControllerStruct& controller, const char* payload) {
    const std::string launcherPath = CopyProcessPath(VANTORPROCESSTYPE_LAUNCHER);
    const std::string airPath = CopyProcessPath(VANTORPROCESSTYPE_AIR);
    const std::string inner =
        FormatInto(airPath.size() + launcherPath.size() + std::strlen(payload) + 50, "\"|%d| |%s| |%s| |%s|\"",
                   controller.gamePort, launcherPath.c_str(), airPath.c_str(), payload);
    const std::string message =
        FormatInto(inner.size() + 166, "%s{%s:%s,%s:%s}%s", kPreloadStart, kMessageTypeKey,
                   "\"UpdateGameWithCredentials\"", kCommandLineKey, inner.c_str(), kPreloadEnd);
    Broadcast(controller, ServerKind::Air, VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIALS,
              message.c_str());
}

void PlayPreloadedGame(VantorServerControllerStruct& controller) {
    const std::string message =
        FormatInto(104, "%s{%s:%s}%s", kPreloadStart, kMessageTypeKey, "\"PlayPreloadedGame\"", kPreloadEnd);
    Broadcast(controller, ServerKind::Air, VANTORMESSAGETYPE_GAMECLIENT_PLAY_PRELOADED_GAME, message.c_str());
}

}  // namespace

int32_t VANTOR_CALL OnAirServerMessage(void* context, int32_t messageType, const char* payload) {
    Step controller(context);
    if (!controller) return 1;
    VantorServerControllerStruct& c = *controller;
    switch (messageType) {
        case VANTORMESSAGETYPE_GAMECLIENT_CREATE:
            LaunchGame(c, Text(payload), nullptr);
            break;
        case VANTORMESSAGETYPE_CLOSE:
            Close(c);
            break;
        case VANTORMESSAGETYPE_HEARTBEAT:
            c.airLastHeartbeat.store(Tamber::GetElapsedSeconds());
            break;
        case VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME:
            Broadcast(c, ServerKind::Game, messageType, payload);
            break;
        case VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION:
            LaunchGameVersion(c, payload);
            break;
        case VANTORMESSAGETYPE_GAMECLIENT_CREATE_CLIENT_AND_PRELOAD:
            StartPreloadedGame(c, Text(payload));
            break;
        case VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIALS:
            SendCredentialsToPreloadedGame(c, Text(payload));
            break;
        case VANTORMESSAGETYPE_GAMECLIENT_PLAY_PRELOADED_GAME:
            PlayPreloadedGame(c);
            break;
        case VANTORMESSAGETYPE_KILL_GAMECLIENT_PROCESS:
            VantorProcessHelper_StopProcess(VANTORPROCESSTYPE_GAME, kStopGraceMs);
            break;
        case VANTORMESSAGETYPE_INVALID:
            EndRun(c, kStopGraceMs);
            break;
        default:
            HandlePatcherMessage(c, messageType, payload);
            break;
    }
    return 1;
}
