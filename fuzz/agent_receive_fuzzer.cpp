// Arbitrary bytes from a peer into a message agent's receive path: header
// checks, payload reads and delivery, over a real loopback connection.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "TamberLauncher.h"
#include "platform/clock.h"
#include "platform/socket.h"

namespace {

// Stays below what the loopback buffers hold, so the send never waits for a
// reader that has stopped (as it does after an oversized payload).
constexpr std::size_t kMaxInput = 64 * 1024;
constexpr int kMaxWaitMilliseconds = 10000;

[[noreturn]] void Fail(const char* why) {
    std::fprintf(stderr, "agent_receive_fuzzer: %s\n", why);
    std::abort();
}

Tamber::Socket Listener() {
    Tamber::StartSocketLibrary();
    const Tamber::Socket listening = Tamber::OpenStreamSocket();
    if (!Tamber::BindLoopback(listening, 0) || !Tamber::ListenForConnections(listening)) Fail("no loopback listener");
    return listening;
}

// Reads every byte of the payload, so that a missing terminator shows as an overflow.
int32_t VANTOR_CALL TouchPayload(void* context, int32_t, const char* payload) {
    if (payload != nullptr) *static_cast<std::size_t*>(context) += std::strlen(payload);
    return 0;
}

void WaitForTheReaderToEnd(VantorMessageAgent* agent) {
    for (int waited = 0; waited < kMaxWaitMilliseconds; ++waited) {
        int32_t active = 1;
        VantorMessageAgent_GetHeartbeatActive(agent, &active);
        if (active == 0) return;
        Tamber::SleepMilliseconds(1);
    }
    Fail("the socket thread did not end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const Tamber::Socket listening = Listener();
    const Tamber::Socket far = Tamber::OpenStreamSocket();
    if (!Tamber::ConnectLoopback(far, Tamber::LocalPort(listening))) Fail("no connection");
    const Tamber::Socket near = Tamber::AcceptConnection(listening);

    std::size_t touched = 0;
    VantorMessageAgent* agent = nullptr;
    VantorMessageAgent_Create(&agent);
    VantorMessageAgent_SetMessageArrivedCallback(agent, &touched, TouchPayload);
    VantorMessageAgent_Start(agent, near);

    Tamber::SendGather(far, data, size < kMaxInput ? size : kMaxInput, nullptr, 0);
    // The agent reads everything, then the end of the connection.
    Tamber::ShutdownSocket(far);
    WaitForTheReaderToEnd(agent);

    Tamber::CloseSocket(far);
    Tamber::ShutdownSocket(near);
    Tamber::CloseSocket(near);
    VantorMessageAgent_Delete(&agent);
    return 0;
}
