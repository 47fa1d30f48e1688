#include "frame/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/syserror.h"
#include "platform/thread.h"

namespace {

constexpr std::size_t kLineSize = 1024;
constexpr std::size_t kFileNameSize = 320;

struct VantorLogStruct {
    std::shared_ptr<Tamber::Mutex> lock = Tamber::Mutex::Create();
    // Empty when the log has no place: nothing is then written or deleted.
    char path[Tamber::kMaxPath] = {};
};

// Writers take their own reference, so a Close that races a write never frees
// the record under it.
std::shared_ptr<VantorLogStruct> g_log;

std::shared_ptr<VantorLogStruct> CurrentLog() { return std::atomic_load(&g_log); }

// "<working directory>/<name>" into path. False when the working directory
// cannot be read (deleted, too long) or the whole does not fit: a cut name
// would be another file's, and an empty directory would put the log in the root.
bool JoinLogPath(const char* name, char* path) {
    char directory[Tamber::kMaxPath] = {};
    if (!Tamber::GetCurrentDirectoryPath(directory)) return false;
    if (std::strlen(directory) + 1 + std::strlen(name) >= Tamber::kMaxPath) return false;
    Tamber::std_snprintf(path, Tamber::kMaxPath, "%s/%s", directory, name);
    return true;
}

}  // namespace

int32_t VantorLog_Open(const char* fileName) {
    auto log = std::make_shared<VantorLogStruct>();
    char name[kFileNameSize];
    Tamber::std_snprintf(name, sizeof name, "%s", fileName ? fileName : "");
    if (!JoinLogPath(name, log->path)) log->path[0] = '\0';
    std::atomic_store(&g_log, log);
    if (log->path[0] == '\0') return 1;
    if (std::FILE* old = std::fopen(log->path, "r")) {
        std::fclose(old);
        Tamber::DeleteFileAtPath(log->path);
    }
    return 1;
}

int32_t VantorLog_Close() {
    std::shared_ptr<VantorLogStruct> log = std::atomic_exchange(&g_log, std::shared_ptr<VantorLogStruct>());
    if (log) {
        // Wait for a write in progress before the record goes.
        Tamber::ScopedLock wait(log->lock);
    }
    return 1;
}

int32_t VantorLog_Write(const char* text) {
    std::shared_ptr<VantorLogStruct> log = CurrentLog();
    if (!log || text == nullptr || log->path[0] == '\0') return 0;
    Tamber::ScopedLock guard(log->lock);
    std::FILE* file = std::fopen(log->path, "at");
    if (file == nullptr) return 0;
    std::fwrite(text, 1, Tamber::std_strnlen(text, kLineSize), file);
    std::fclose(file);
    return 1;
}

int32_t VantorLog_Format(const char* format, ...) {
    if (!CurrentLog()) return 0;
    char line[kLineSize];
    va_list args;
    va_start(args, format);
    Tamber::std_vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return VantorLog_Write(line);
}

int32_t VantorLog_Message(int32_t level, const char* message) {
    const char* prefix = level == kLogInfo      ? "INFO: %s"
                         : level == kLogWarning ? "WARNING: %s"
                         : level == kLogError   ? "ERROR: %s"
                                                : "%s";
    char line[kLineSize];
    Tamber::std_snprintf(line, sizeof line, prefix, message ? message : "");
    VantorLog_Format("%s", line);
    return 1;
}

int32_t VantorLog_SystemError(const char* context, uint32_t code) {
    char text[kLineSize];
    if (Tamber::SystemErrorText(code, text, sizeof text) == 0) return 1;
    if (context != nullptr) {
        char withContext[512];
        Tamber::std_snprintf(withContext, sizeof withContext, "[%s] %s", context, text);
        VantorLog_Message(kLogInfo, withContext);
    } else {
        VantorLog_Message(kLogInfo, text);
    }
    return 1;
}

int32_t VantorLog_SystemFailure(const char* context, int32_t level, const char* message, uint32_t code) {
    VantorLog_SystemError(context, code);
    return VantorLog_Message(level, message);
}

int32_t VantorLog_Formatted(int32_t level, std::size_t bufferSize, const char* format, ...) {
    char message[kLineSize];
    va_list args;
    va_start(args, format);
    Tamber::std_vsnprintf(message, bufferSize < sizeof message ? bufferSize : sizeof message, format, args);
    va_end(args);
    return VantorLog_Message(level, message);
}
