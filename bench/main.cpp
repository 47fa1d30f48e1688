// tamber_bench: the messaging machinery against plain sockets on this machine,
// printed as one table. "--smoke" runs every row briefly and judges nothing;
// "--only 35" runs the rows named (1 stands for rows 1 and 2).
//
// Exit code: 0 when every row ran (and, in a full run, every target holds),
// 1 when a row could not run, 3 when a target does not hold.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "TamberLauncher.h"
#include "bench.h"
#include "system.h"

namespace Bench {

Settings Settings::Full() { return Settings{}; }

Settings Settings::Smoke() {
    Settings settings;
    settings.smoke = true;
    settings.repetitions = 1;
    settings.roundTrips = 200;
    settings.warmUpTrips = 20;
    settings.streamMs = 100;
    settings.streamWarmUpMs = 10;
    settings.idlePairs = 10;
    settings.idleMs = 300;
    settings.broadcastClients = 20;
    settings.logMs = 50;
    return settings;
}

namespace {

struct Step {
    const char* name;
    char key;  // what "--only" names it by
    bool (*run)(const Settings&, Table&);
};

// only: the keys of the steps to run, empty for all.
int RunAll(Settings settings, const std::string& only) {
    // Each process on its own CPU, so that placement does not move the ratios.
    if (CpuCount() >= 2 && PinToCpu(0)) settings.peerCpu = 1;
    const bool raised = RaisePriority();
    std::printf("machine: %s\n", MachineLine().c_str());
    std::printf("run: %s, medians of %d repetition%s; %s; %s\n", settings.smoke ? "smoke pass" : "full",
                settings.repetitions, settings.repetitions == 1 ? "" : "s",
                settings.peerCpu >= 0 ? "this process on CPU 0, its peer on CPU 1" : "one CPU, no pinning",
                raised ? "nice -10" : "normal priority");
    std::fflush(stdout);

    const Step steps[] = {
        {"round trips (rows 1, 2)", '1', RunRoundTrips},
        {"stream (row 3)", '3', RunStream},
        {"idle connections (row 4)", '4', RunIdle},
        {"broadcast (row 5)", '5', RunBroadcast},
        {"log (row 6)", '6', RunLog},
    };
    Table table;
    bool ran = true;
    const uint64_t start = NowNanoseconds();
    Vantor_Init("bench");
    for (const Step& step : steps) {
        if (!only.empty() && only.find(step.key) == std::string::npos) continue;
        const uint64_t stepStart = NowNanoseconds();
        std::fprintf(stderr, "tamber_bench: %s...\n", step.name);
        ran = step.run(settings, table);
        std::fprintf(stderr, "tamber_bench: %s: %.1f s\n", step.name,
                     static_cast<double>(NowNanoseconds() - stepStart) / 1e9);
        if (!ran) break;
    }
    Vantor_Remove();
    std::printf("\n");
    table.Print(stdout, !settings.smoke);
    const double seconds = static_cast<double>(NowNanoseconds() - start) / 1e9;
    std::printf("\n%.0f s in all", seconds);
    if (!ran) {
        std::printf("; a row could not run (see above)\n");
        return 1;
    }
    if (settings.smoke) {
        std::printf("; smoke pass: every row ran, nothing judged\n");
        return 0;
    }
    const int failures = table.Failures();
    std::printf("; %s\n", failures == 0 ? "every target holds" : "a target does not hold");
    return failures == 0 ? 0 : 3;
}

}  // namespace
}  // namespace Bench

int main(int argc, char** argv) {
    // A peer that is gone must show as a failed write, not end the run.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc >= 2 && std::strcmp(argv[1], "--peer") == 0) return Bench::RunPeer(argc - 2, argv + 2);
    bool smoke = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) {
            smoke = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--smoke] [--only 13456]\n", argv[0]);
            return 2;
        }
    }
    Bench::RaiseFileLimit();
    // The logs of both processes go to a folder of their own.
    Bench::TempFolder folder;
    if (!folder.Valid() || chdir(folder.Path().c_str()) != 0) {
        std::fprintf(stderr, "tamber_bench: no temp folder\n");
        return 1;
    }
    const int status = Bench::RunAll(smoke ? Bench::Settings::Smoke() : Bench::Settings::Full(), only);
    if (chdir("/") != 0) std::fprintf(stderr, "tamber_bench: cannot leave the temp folder\n");
    return status;
}
