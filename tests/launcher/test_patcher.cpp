// A stand-in patcher library: records every call in "patcher-calls.txt" in the
// working directory and answers from "patcher-answer.txt" there: a text, then
// the path of the game of version "v1".
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
    std::FILE* file = std::fopen("patcher-calls.txt", "ab");
    if (file == nullptr) return;
    std::fprintf(file, "%s(%s)\n", function, argument ? argument : "");
    std::fclose(file);
}

// Fills text (or game) from the answer file; "FULL" fills every byte without a terminator.
bool Answer(const char* function, const char* argument, char* text, int32_t size, bool game = false) {
    Record(function, argument ? argument : std::to_string(size).c_str());
    char fields[2][1024] = {};
    std::FILE* file = std::fopen("patcher-answer.txt", "rb");
    const int found = file ? std::fscanf(file, "%1023s %1023s", fields[0], fields[1]) : 0;
    if (file) std::fclose(file);
    if (found < 1 + game) return false;
    if (std::strcmp(fields[game], "FULL") == 0)
        std::memset(text, 'p', static_cast<std::size_t>(size));
    else
        std::snprintf(text, static_cast<std::size_t>(size), game ? "%s%s" : "%s:%s", game ? "" : function,
                      fields[game]);
    return true;
}

}  // namespace

PATCHER_EXPORT int32_t GameVersionToPath(const char* version, char* path, int32_t size) {
    return std::strcmp(version, "v1") == 0 && Answer("GameVersionToPath", version, path, size, true) ? 1 : 0;
}

#define PATCHER_ACTION(name) \
    PATCHER_EXPORT void name(const char* version) { Record(#name, version); }
#define PATCHER_CANCEL(name) \
    PATCHER_EXPORT void name() { Record(#name, nullptr); }
#define PATCHER_ANSWER(name) \
    PATCHER_EXPORT void name(char* text, int32_t size) { Answer(#name, nullptr, text, size); }
// One family: the action on a version, its cancel and its progress text.
#define PATCHER_FAMILY(verb) \
    PATCHER_ACTION(verb##GameVersion) PATCHER_CANCEL(Cancel##verb##Game) PATCHER_ANSWER(Get##verb##GameProgress)

// clang-format off: definitions made by macros, one family a line
PATCHER_FAMILY(Install)
PATCHER_FAMILY(Preview)
PATCHER_FAMILY(Uninstall)
PATCHER_FAMILY(PreviewUninstall)
#ifndef PATCHER_LACKS_ENUMERATE
PATCHER_ANSWER(EnumerateUninstallableGameVersions)
#endif
// clang-format on
