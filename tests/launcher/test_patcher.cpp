// A stand-in patcher library: records every call in "patcher-calls.txt" in the
// working directory and answers from environment variables.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#define PATCHER_EXPORT extern "C" __declspec(dllexport)
#else
#define PATCHER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

void Record(const char* function, const char* argument) {
    if (std::FILE* file = std::fopen("patcher-calls.txt", "ab")) {
        std::fprintf(file, "%s(%s)\n", function, argument ? argument : "");
        std::fclose(file);
    }
}

// TAMBER_PATCHER_TEXT fills the answer; "FULL" fills every byte without a terminator.
void Answer(const char* function, char* text, int32_t size) {
    Record(function, std::to_string(size).c_str());
    const char* answer = std::getenv("TAMBER_PATCHER_TEXT");
    if (answer && std::strcmp(answer, "FULL") == 0)
        std::memset(text, 'p', static_cast<std::size_t>(size));
    else if (answer)
        std::snprintf(text, static_cast<std::size_t>(size), "%s:%s", function, answer);
}

}  // namespace

// Known version "v1" maps to TAMBER_PATCHER_GAME.
PATCHER_EXPORT int32_t GameVersionToPath(const char* version, char* path, int32_t size) {
    Record("GameVersionToPath", version);
    const char* game = std::getenv("TAMBER_PATCHER_GAME");
    if (!game || std::strcmp(version, "v1") != 0) return 0;
    std::snprintf(path, static_cast<std::size_t>(size), "%s", game);
    return 1;
}

PATCHER_EXPORT void InstallGameVersion(const char* version) { Record("InstallGameVersion", version); }
PATCHER_EXPORT void CancelInstallGame() { Record("CancelInstallGame", nullptr); }
PATCHER_EXPORT void GetInstallGameProgress(char* text, int32_t size) { Answer("GetInstallGameProgress", text, size); }
PATCHER_EXPORT void PreviewGameVersion(const char* version) { Record("PreviewGameVersion", version); }
PATCHER_EXPORT void CancelPreviewGame() { Record("CancelPreviewGame", nullptr); }
PATCHER_EXPORT void GetPreviewGameProgress(char* text, int32_t size) { Answer("GetPreviewGameProgress", text, size); }
PATCHER_EXPORT void UninstallGameVersion(const char* version) { Record("UninstallGameVersion", version); }
PATCHER_EXPORT void CancelUninstallGame() { Record("CancelUninstallGame", nullptr); }
PATCHER_EXPORT void GetUninstallGameProgress(char* text, int32_t size) { Answer("GetUninstallGameProgress", text, size); }
PATCHER_EXPORT void PreviewUninstallGameVersion(const char* version) { Record("PreviewUninstallGameVersion", version); }
PATCHER_EXPORT void CancelPreviewUninstallGame() { Record("CancelPreviewUninstallGame", nullptr); }
PATCHER_EXPORT void GetPreviewUninstallGameProgress(char* text, int32_t size) {
    Answer("GetPreviewUninstallGameProgress", text, size);
}
#ifndef PATCHER_LACKS_ENUMERATE
PATCHER_EXPORT void EnumerateUninstallableGameVersions(char* text, int32_t size) {
    Answer("EnumerateUninstallableGameVersions", text, size);
}
#endif
