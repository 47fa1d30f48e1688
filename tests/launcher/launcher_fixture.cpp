#include "launcher_fixture.h"

#include <cstdlib>

namespace TamberTest {

HostEvents* g_hostEvents = nullptr;

void VANTOR_CALL RecordExit(void* userData) { ++static_cast<HostEvents*>(userData)->exits; }

void VANTOR_CALL RecordError(void* userData, int32_t errorType, const char* message) {
    HostEvents* events = userData ? static_cast<HostEvents*>(userData) : g_hostEvents;
    std::lock_guard<std::mutex> guard(events->lock);
    if (events->errors.empty()) events->logAtFirstError = FromDisk(ReadFile(events->logPath));
    events->errors.push_back(std::to_string(errorType) + ":" + message);
    events->errorUserData.push_back(userData);
}

void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void PickPorts(uint16_t* launcher, uint16_t* air, uint16_t* game) {
    *launcher = FreePort();
    do *air = FreePort(); while (*air == *launcher);
    do *game = FreePort(); while (*game == *launcher || *game == *air);
}

}  // namespace TamberTest
