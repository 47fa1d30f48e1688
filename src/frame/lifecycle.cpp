#include "TamberLauncher.h"
#include "frame/log.h"
#include "platform/clock.h"
#include "platform/strings.h"

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
    VantorLog_Message(kLogInfo, "vantor exiting...\n");
    VantorLog_Close();
    return 1;
}

VANTOR_API int32_t VANTOR_CALL Vantor_GetElapsedSeconds(uint32_t* seconds) {
    if (seconds != nullptr) *seconds = Tamber::GetElapsedSeconds();
    return 1;
}

}  // extern "C"
