#include "launcher/patcher_bridge.h"

#include <atomic>
#include <cstring>

#include "frame/log.h"
#include "platform/dynlib.h"
#include "platform/interrupt.h"
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

// -1 not tried yet, 0 unavailable, 1 available, or loading; never goes back
// from 0 or 1. Only the thread that moved it to loading moves it on.
constexpr int32_t kNotTried = -1;
constexpr int32_t kLoading = 2;
std::atomic<int32_t> g_availability{kNotTried};
void* g_functions[kFunctionCount] = {};

// The library, or null; *abandoned when Remove began before the host could be asked.
Tamber::LibraryHandle LoadPatcherLibrary(VantorServerControllerStruct& controller, bool* abandoned) {
    char path[Tamber::kMaxPath] = {};
    char directory[Tamber::kMaxPath] = {};
    Tamber::GetCurrentDirectoryPath(directory);
    Tamber::std_snprintf(path, sizeof path, "%s%s%s", directory, Tamber::PathSeparator(),
                         Tamber::PatcherLibraryFileName());
    Tamber::LibraryHandle library = Tamber::LoadLibraryAtPath(path);
    if (library) return library;

    const auto [callback] = Tamber::CopyUnderLock(controller.callbackLock, controller.patcherPathCallback);
    // The host is asked only when the working directory has no patcher; the
    // buffer still holds the path tried above.
    int32_t answer = 1;
    if (callback)
        RunCallback(controller,
                    [&, callback = callback] { answer = callback(path, static_cast<int32_t>(sizeof path)); });
    *abandoned = IsRemoving(controller);
    if (answer == 0 && !*abandoned) {
        path[sizeof path - 1] = '\0';
        library = Tamber::LoadLibraryAtPath(path);
    }
    return library;
}

void SettleAvailability(int32_t availability) {
    g_availability.store(availability);
    Tamber::WakeInterruptWaits();
}

// The loading attempt. Remove ending it before the library was had leaves it
// untried, for a later controller, and logs nothing.
void LoadOnce(VantorServerControllerStruct& controller) {
    bool abandoned = false;
    Tamber::LibraryHandle library = LoadPatcherLibrary(controller, &abandoned);
    if (!library && abandoned) {
        SettleAvailability(kNotTried);
        return;
    }
    if (!library) {
        VantorLog_Message(kLogInfo,
                          "Could not load patching support. Back patching support for replays is disabled.\n");
        SettleAvailability(0);  // a failed attempt is never repeated
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
    SettleAvailability(allFound ? 1 : 0);
}

template <class Function>
Function Get(PatcherFunction which) {
    return reinterpret_cast<Function>(g_functions[which]);
}

void CallWithVersion(VantorServerControllerStruct& controller, PatcherFunction which, const char* format,
                     const char* payload) {
    const char* version = payload ? payload : "";
    VantorLog_Formatted(kLogInfo, kLogLineSize, format, version);
    if (PatcherAvailable(controller)) Get<VersionFunction>(which)(version);
}

void Cancel(VantorServerControllerStruct& controller, PatcherFunction which, const char* line) {
    VantorLog_Message(kLogInfo, line);
    if (PatcherAvailable(controller)) Get<CancelFunction>(which)();
}

// Polls the patcher for a text and relays it, empty when patching is unavailable.
void AnswerWithText(VantorServerControllerStruct& controller, PatcherFunction which, int32_t messageType) {
    char text[kTextSize] = {};
    if (PatcherAvailable(controller)) Get<TextFunction>(which)(text, kTextSize);
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
    {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_INSTALL, RequestKind::kCancel, kCancelInstallGame,
     "Cancelling game install\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS, RequestKind::kAnswer, kGetInstallGameProgress, nullptr},
    {VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PREVIEW, RequestKind::kWithVersion, kPreviewGameVersion,
     "Previewing game version %s\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_PREVIEW, RequestKind::kCancel, kCancelPreviewGame,
     "Cancelling game preview\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_PREVIEW_PROGRESS, RequestKind::kAnswer, kGetPreviewGameProgress, nullptr},
    {VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_VERSION, RequestKind::kWithVersion, kUninstallGameVersion,
     "Uninstalling game version %s\n"},
    {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_UNINSTALL, RequestKind::kCancel, kCancelUninstallGame,
     "Cancelling uninstall\n"},
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

bool PatcherAvailable(VantorServerControllerStruct& controller) {
    for (;;) {
        int32_t availability = g_availability.load();
        if (IsRemoving(controller)) return false;
        if (availability == kNotTried && g_availability.compare_exchange_strong(availability, kLoading)) {
            LoadOnce(controller);
            continue;
        }
        if (availability != kLoading) return availability == 1;
        // Another connection's request is loading it: wait for that one load,
        // or for Remove.
        if (!controller.interrupt.WaitFor(Tamber::kWaitForever, [] { return g_availability.load() != kLoading; }))
            return false;
    }
}

bool PatcherGameVersionToPath(VantorServerControllerStruct& controller, const char* version, char* path) {
    if (!PatcherAvailable(controller)) return false;
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
            CallWithVersion(controller, request->function, request->logLine, payload);
            break;
        case RequestKind::kCancel:
            Cancel(controller, request->function, request->logLine);
            break;
        case RequestKind::kAnswer:
            if (request->logLine) VantorLog_Message(kLogInfo, request->logLine);
            AnswerWithText(controller, request->function, messageType);
            break;
    }
    return true;
}
