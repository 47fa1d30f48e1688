// Whether the three programs' executables are on disk.
#include "TamberLauncher.h"
#include "frame/log.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "process/process_helper.h"
#include "process/process_table.h"

int32_t VerifyFileExists(const char* path) {
    const char* given = path != nullptr ? path : "";
    char drive[3] = {};
    char directory[256] = {};
    const bool bare = Tamber::SplitPath(given, drive, sizeof drive, directory, sizeof directory, nullptr, 0) &&
                      drive[0] == '\0' && directory[0] == '\0';
    char resolved[Tamber::kMaxPath] = {};
    const char* full = given;
    if (bare) {
        // A bare name belongs beside the host executable, not in the current directory.
        char moduleDirectory[Tamber::kMaxPath];
        if (Tamber::GetModuleDirectory(moduleDirectory, sizeof moduleDirectory))
            Tamber::std_snprintf(resolved, sizeof resolved, "%s%s", moduleDirectory, given);
        else
            Tamber::std_strncpy(resolved, given, sizeof resolved);
        full = resolved;
    }
    if (Tamber::FileExists(full)) return 1;
    VantorLog_Formatted(kLogError, 320, "The file [%s] does not exist.", given);
    return 0;
}

extern "C" {

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_AllFilesExist(void) {
    const std::shared_ptr<VantorProcessTable> table = RequireProcessTable();
    if (!table) return 0;
    const int32_t launcher = VerifyFileExists(table->launcherPath);
    const int32_t air = VerifyFileExists(table->airPath);
    std::string gamePath;
    CopyPathOf(*table, VANTORPROCESSTYPE_GAME, gamePath);
    const int32_t game = VerifyFileExists(gamePath.c_str());
    return launcher == 1 && air == 1 && game == 1 ? 1 : 0;
}

}  // extern "C"
