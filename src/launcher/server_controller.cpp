#include "TamberLauncher.h"

extern "C" {

VANTOR_API VantorServer* VANTOR_CALL VantorServerController_GetAirServerHandle(void) { return nullptr; }

}  // extern "C"
