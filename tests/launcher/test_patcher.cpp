// A stand-in patcher library: records every call in "patcher-calls.txt" in the
// working directory and answers from "patcher-answer.txt" there.
#include <cstdint>
#include <cstdio>
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

// The answer file's first line fills the text; "FULL" fills every byte without a terminator.
void Answer(const char* function, char* text, int32_t size) {
    Record(function, std::to_string(size).c_str());
    char answer[256] = "";
    std::FILE* file = std::fopen("patcher-answer.txt", "rb");
    if (!file) return;
    std::fscanf(file, "%255s", answer);
    std::fclose(file);
    if (std::strcmp(answer, "FULL") == 0)
        std::memset(text, 'p', static_cast<std::size_t>(size));
    else
        std::snprintf(text, static_cast<std::size_t>(size), "%s:%s", function, answer);
}

}  // namespace

// Known version "v1" maps to the path that the answer file's second line holds.
PATCHER_EXPORT int32_t GameVersionToPath(const char* version, char* path, int32_t size) {
    Record("GameVersionToPath", version);
    char answer[256] = "", game[1024] = "";
    std::FILE* file = std::fopen("patcher-answer.txt", "rb");
    const bool known = file && std::fscanf(file, "%255s %1023s", answer, game) == 2 && std::strcmp(version, "v1") == 0;
    if (file) std::fclose(file);
    if (known) std::snprintf(path, static_cast<std::size_t>(size), "%s", game);
    return known ? 1 : 0;
}

#define PATCHER_ACTION(name) PATCHER_EXPORT void name(const char* version) { Record(#name, version); }
#define PATCHER_CANCEL(name) PATCHER_EXPORT void name() { Record(#name, nullptr); }
#define PATCHER_ANSWER(name) PATCHER_EXPORT void name(char* text, int32_t size) { Answer(#name, text, size); }
PATCHER_ACTION(InstallGameVersion)
PATCHER_CANCEL(CancelInstallGame)
PATCHER_ANSWER(GetInstallGameProgress)
PATCHER_ACTION(PreviewGameVersion)
PATCHER_CANCEL(CancelPreviewGame)
PATCHER_ANSWER(GetPreviewGameProgress)
PATCHER_ACTION(UninstallGameVersion)
PATCHER_CANCEL(CancelUninstallGame)
PATCHER_ANSWER(GetUninstallGameProgress)
PATCHER_ACTION(PreviewUninstallGameVersion)
PATCHER_CANCEL(CancelPreviewUninstallGame)
PATCHER_ANSWER(GetPreviewUninstallGameProgress)
#ifndef PATCHER_LACKS_ENUMERATE
PATCHER_ANSWER(EnumerateUninstallableGameVersions)
#endif
