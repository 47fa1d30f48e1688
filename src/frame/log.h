// The process's log: one plain-text file, one line per event, opened, written
// and closed for every line so that everything is on disk when a call returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/syserror.h"

enum VantorLogLevel : int32_t { kLogInfo = 0, kLogWarning = 1, kLogError = 2 };

// Creates the record (replacing any open one) for fileName in the working
// directory and deletes an old file of that name. When the working directory
// cannot be read or the path would pass the 260-byte limit, the log has no file:
// nothing is deleted and every write returns 0.
int32_t VantorLog_Open(const char* fileName);
// Destroys the record once no write is using it; nothing when no log is open.
int32_t VantorLog_Close();
// Appends text unchanged. 0 when no log is open or the file cannot be opened.
int32_t VantorLog_Write(const char* text);
int32_t VantorLog_Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// "INFO: %s", "WARNING: %s", "ERROR: %s" or "%s" for other levels; cut at 1023 characters.
int32_t VantorLog_Message(int32_t level, const char* message);
// Logs the system's text for code (by default the calling thread's last error,
// read at the call) at INFO, as "[context] text" when a context is given.
int32_t VantorLog_SystemError(const char* context, uint32_t code = Tamber::LastSystemError());
// The usual report of a failed system call: VantorLog_SystemError(context, code),
// then message at level.
int32_t VantorLog_SystemFailure(const char* context, int32_t level, const char* message,
                                uint32_t code = Tamber::LastSystemError());

// Formats into a bufferSize-byte text (at most 1024), truncating, then logs it at level.
int32_t VantorLog_Formatted(int32_t level, std::size_t bufferSize, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// record, or null after logging "<recordName> is not yet initialized." at ERROR:
// the check that every export of a family with a process-wide record makes first.
template <class Record>
std::shared_ptr<Record> VantorLog_RequireRecord(std::shared_ptr<Record> record, const char* recordName) {
    if (!record) VantorLog_Formatted(kLogError, 256, "%s is not yet initialized.\n", recordName);
    return record;
}
