#include "launcher/patcher_bridge.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "frame/log.h"
#include "platform/dynlib.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/thread.h"

namespace {

using VersionToPathFunction = int32_t (*)(const char* version, char* path, int32_t pathSize);
using VersionFunction = void (*)(const char* version);
using CancelFunction = void (*)();
using TextFunction = void (*)(char* text, int32_t textSize);

constexpr int32_t kTextSize = 1024;
constexpr std::size_t kLogLineSize = 128;

// The fourteen functions, in the order in which they are looked up.
enum PatcherFunction {
    kGameVersionToPath,
    kInstallGameVersion,
    kCancelInstallGame,
    kGetInstallGameProgress,
    kPreviewGameVersion,
    kCancelPreviewGame,
    kGetPreviewGameProgress,
    kUninstallGameVersion,
    kCancelUninstallGame,
    kGetUninstallGameProgress,
    kPreviewUninstallGameVersion,
    kCancelPreviewUninstallGame,
    kGetPreviewUninstallGameProgress,
    kEnumerateUninstallableGameVersions,
    kFunctionCount
};

const char* const kFunctionNames[kFunctionCount] = {
    "GameVersionToPath",
    "InstallGameVersion",
    "CancelInstallGame",
    "GetInstallGameProgress",
    "PreviewGameVersion",
    "CancelPreviewGame",
    "GetPreviewGameProgress",
    "UninstallGameVersion",
    "CancelUninstallGame",
    "GetUninstallGameProgress",
    "PreviewUninstallGameVersion",
    "CancelPreviewUninstallGame",
    "GetPreviewUninstallGameProgress",
    "EnumerateUninstallableGameVersions",
};

// -1 not tried yet, 0 unavailable, 1 available; never goes back.
std::atomic<int32_t> g_availability{-1};
std::mutex g_loadLock;
void* g_functions[kFunctionCount] = {};

Tamber::LibraryHandle LoadPatcherLibrary() {
    char path[Tamber::kMaxPath] = {};
    char directory[Tamber::kMaxPath] = {};
    Tamber::GetCurrentDirectoryPath(directory);
    Tamber::std_snprintf(path, sizeof path, "%s%s%s", directory, Tamber::PathSeparator(),
                         Tamber::PatcherLibraryFileName());
    Tamber::LibraryHandle library = Tamber::LoadLibraryAtPath(path);
    if (library) return library;

    PatcherPathCallback callback = nullptr;
    if (ControllerPtr controller = CurrentController())
        std::tie(callback) = Tamber::CopyUnderLock(controller->callbackLock, controller->patcherPathCallback);
    // The host is asked only when the working directory has no patcher; the
    // buffer still holds the path tried above.
    if (callback && callback(path, static_cast<int32_t>(sizeof path)) == 0) {
        path[sizeof path - 1] = '\0';
        library = Tamber::LoadLibraryAtPath(path);
    }
    return library;
}

void LoadOnce() {
    std::lock_guard<std::mutex> lock(g_loadLock);
    if (g_availability.load() != -1) return;
    g_availability.store(0);  // a failed attempt is never repeated
    Tamber::LibraryHandle library = LoadPatcherLibrary();
    if (!library) {
        VantorLog_Message(kLogInfo,
                          "Could not load patching support. Back patching support for replays is disabled.\n");
        return;
    }
    bool allFound = true;
    for (int i = 0; i < kFunctionCount; ++i) {
        g_functions[i] = Tamber::FindLibraryFunction(library, kFunctionNames[i]);
        if (!g_functions[i]) {
            VantorLog_Formatted(kLogError, 1024, "Could not load %s\n", kFunctionNames[i]);
            allFound = false;
        }
    }
    if (allFound) g_availability.store(1);
}

template <class Function>
Function Get(PatcherFunction which) {
    return reinterpret_cast<Function>(g_functions[which]);
}

void CallWithVersion(PatcherFunction which, const char* format, const char* payload) {
    const char* version = payload ? payload : "";
    VantorLog_Formatted(kLogInfo, kLogLineSize, format, version);
    if (PatcherAvailable()) Get<VersionFunction>(which)(version);
}

void Cancel(PatcherFunction which, const char* line) {
    VantorLog_Message(kLogInfo, line);
    if (PatcherAvailable()) Get<CancelFunction>(which)();
}

// Polls the patcher for a text and relays it, empty when patching is unavailable.
void AnswerWithText(VantorServerControllerStruct& controller, PatcherFunction which, int32_t messageType) {
    char text[kTextSize] = {};
    if (PatcherAvailable()) Get<TextFunction>(which)(text, kTextSize);
    text[kTextSize - 1] = '\0';
    Broadcast(controller, ServerKind::Air, messageType, text);
}

enum class RequestKind { kWithVersion, kCancel, kAnswer };

// The Air client's game-version requests: what each calls and logs first.
struct PatcherRequest {
    int32_t messageType;
    RequestKind kind;
    PatcherFunction function;
    const char* logLine;  // a format with the version for kWithVersion
};

const PatcherRequest kRequests[] = {
    {VANTORMESSAGETYPE_GAMECLIENT_INSTALL_VERSION, RequestKind::kWithVersion, kInstallGameVersion,
     "Installing game version %s\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_INSTALL, RequestKind::kCancel, kCancelInstallGame, "Cancelling game install\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS, RequestKind::kAnswer, kGetInstallGameProgress, nullptr},
    {VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PREVIEW, RequestKind::kWithVersion, kPreviewGameVersion,
     "Previewing game version %s\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_PREVIEW, RequestKind::kCancel, kCancelPreviewGame, "Cancelling game preview\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_PREVIEW_PROGRESS, RequestKind::kAnswer, kGetPreviewGameProgress, nullptr},
    {VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_VERSION, RequestKind::kWithVersion, kUninstallGameVersion,
     "Uninstalling game version %s\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_UNINSTALL, RequestKind::kCancel, kCancelUninstallGame, "Cancelling uninstall\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_PROGRESS, RequestKind::kAnswer, kGetUninstallGameProgress, nullptr},
    {VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_PREVIEW, RequestKind::kWithVersion, kPreviewUninstallGameVersion,
     "Previewing uninstall version %s\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_UNINSTALL_PREVIEW, RequestKind::kCancel, kCancelPreviewUninstallGame,
     "Cancelling uninstall preview\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_PREVIEW_UNINSTALL_PROGRESS, RequestKind::kAnswer, kGetPreviewUninstallGameProgress,
     nullptr},
    {VANTORMESSAGETYPE_GAMECLIENT_ENUMERATE_VERSIONS, RequestKind::kAnswer, kEnumerateUninstallableGameVersions,
     "Enumerating uninstallable game versions\n"},
};

}  // namespace

bool PatcherAvailable() {
    if (g_availability.load() == -1) LoadOnce();
    return g_availability.load() == 1;
}

bool PatcherGameVersionToPath(const char* version, char* path) {
    if (!PatcherAvailable()) return false;
    std::memset(path, 0, Tamber::kMaxPath);
    const bool found = Get<VersionToPathFunction>(kGameVersionToPath)(version, path, Tamber::kMaxPath) != 0;
    path[Tamber::kMaxPath - 1] = '\0';
    return found;
}

bool HandlePatcherMessage(VantorServerControllerStruct& controller, int32_t messageType, const char* payload) {
    const PatcherRequest* request = nullptr;
    for (const PatcherRequest& candidate : kRequests)
        if (candidate.messageType == messageType) request = &candidate;
    if (request == nullptr) return false;
    switch (request->kind) {
        case RequestKind::kWithVersion:
            CallWithVersion(request->function, request->logLine, payload);
            break;
        case RequestKind::kCancel:
            Cancel(request->function, request->logLine);
            break;
        case RequestKind::kAnswer:
            if (request->logLine) VantorLog_Message(kLogInfo, request->logLine);
            AnswerWithText(controller, request->function, messageType);
            break;
    }
    return true;
}
