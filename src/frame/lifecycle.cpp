#include "TamberLauncher.h"
#include "frame/log.h"
#include "platform/clock.h"
#include "platform/strings.h"
#include "platform/thread.h"

extern "C" {

VANTOR_API int32_t VANTOR_CALL Vantor_Init(const char* hostName) {
    const char* host = hostName ? hostName : "";
    char fileName[320];
    Tamber::std_snprintf(fileName, sizeof fileName, "vantor-%s.log", host);
    VantorLog_Open(fileName);
    VantorLog_Formatted(kLogInfo, 1024, "vantor [%s] initializing...\n", host);
    return 1;
}

VANTOR_API int32_t VANTOR_CALL Vantor_Remove(void) {
    // A thread that ran a Remove from a callback, or outlasted its join, is
    // still in the library's code; the host may unload it after this returns.
    Tamber::WaitForAbandonedThreads();
    VantorLog_Message(kLogInfo, "vantor exiting...\n");
    VantorLog_Close();
    return 1;
}

VANTOR_API int32_t VANTOR_CALL Vantor_GetElapsedSeconds(uint32_t* seconds) {
    if (seconds != nullptr) *seconds = Tamber::GetElapsedSeconds();
    return 1;
}

}  // extern "C"
