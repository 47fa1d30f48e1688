// Arbitrary bytes through the message reader alone, from a buffer: header
// checks and payload assembly without sockets or threads, so that thousands
// of inputs run each second.
#include <cstddef>
#include <cstring>

#include "buffer_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    TamberTest::BufferSource source(data, size);
    volatile std::size_t touched = 0;
    for (;;) {
        int32_t type = 0;
        std::unique_ptr<char[]> payload;
        if (ReadMessage(source, type, payload) != ReadOutcome::kDone) break;
        // Reads every byte of the payload, so that a missing terminator shows as an overflow.
        if (payload) touched = touched + std::strlen(payload.get()) + static_cast<std::size_t>(type & 1);
    }
    return 0;
}
