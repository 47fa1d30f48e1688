// Row 6: lines per second through the log from 1 and from 8 threads. Each
// line opens, appends to and closes the file, so that it is on disk when the
// call returns. Baseline: one write per line to a file kept open.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench.h"
#include "frame/log.h"

namespace Bench {

namespace {

constexpr const char* kMessage = "bench log line\n";
constexpr const char* kLine = "INFO: bench log line\n";

// Lines per second that `threads` threads write with writeLine during ms.
template <class WriteLine>
double LinesPerSecond(int threads, uint32_t ms, WriteLine writeLine) {
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> lines{0};
    std::vector<std::thread> writers;
    const uint64_t start = NowNanoseconds();
    for (int i = 0; i < threads; ++i) {
        writers.emplace_back([&] {
            uint64_t written = 0;
            while (!stop.load(std::memory_order_relaxed) && writeLine()) ++written;
            lines.fetch_add(written);
        });
    }
    SleepFor(ms);
    stop.store(true);
    for (std::thread& writer : writers) writer.join();
    const uint64_t end = NowNanoseconds();
    return static_cast<double>(lines.load()) * 1e9 / static_cast<double>(end - start);
}

}  // namespace

bool RunLog(const Settings& settings, Table& table) {
    const int fd = open("bench-plain.log", O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "tamber_bench: no plain log file\n");
        return false;
    }
    const std::size_t length = std::strlen(kLine);
    const auto plainLine = [&] { return write(fd, kLine, length) == static_cast<ssize_t>(length); };
    const auto libraryLine = [] { return VantorLog_Message(kLogInfo, kMessage) == 1; };
    for (const int threads : {1, 8}) {
        std::vector<double> library, plain;
        for (int repetition = 0; repetition < settings.repetitions; ++repetition) {
            plain.push_back(LinesPerSecond(threads, settings.logMs, plainLine));
            library.push_back(LinesPerSecond(threads, settings.logMs, libraryLine));
        }
        const std::string what =
            "log lines/s from " + std::to_string(threads) + (threads == 1 ? " thread" : " threads");
        table.Add({"6", what, library, plain, {}, 0});
    }
    close(fd);
    return true;
}

}  // namespace Bench
