// A stand-in for the launcher, the Air client or the game in tests.
//
// Its settings come from "<own path>.cfg", so that every copy (and every
// start of it) can be told what to do whatever its command line holds. Lines:
//   seconds N       live N seconds (at most 60), then end; default 60
//   kill-own-name   first end, by name, every other process of its own name
// It writes "<own path>.<pid>.report" (working directory, then each argument,
// one per line, as received) and, if it lives to its end, "<own path>.<pid>.done".
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "TamberLauncher.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/strings.h"

namespace {

constexpr unsigned kMaxSeconds = 60;

std::string OwnPath() {
    char directory[Tamber::kMaxPath] = {};
    Tamber::GetModuleDirectory(directory, sizeof directory);
    std::string path = directory;
    Tamber::ForEachProcess([&](const Tamber::ProcessHandle& process, const char* name) {
        if (process.Id() != Tamber::CurrentProcessId()) return true;
        path += name;
        return false;
    });
    return path;
}

// Written under a temporary name first, so a reader never sees half of it.
void WriteWhole(const std::string& file, const std::string& text) {
    const std::string temporary = file + ".tmp";
    std::ofstream(temporary, std::ios::binary) << text;
    std::error_code ignored;
    std::filesystem::rename(temporary, file, ignored);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string self = OwnPath();
    unsigned seconds = kMaxSeconds;
    std::ifstream settings(self + ".cfg");
    for (std::string key; settings >> key;) {
        if (key == "seconds") settings >> seconds;
        if (key == "kill-own-name") VantorProcessHelper_KillProcessByName(self.c_str());
    }

    std::ostringstream report;
    std::error_code ignored;
    report << std::filesystem::current_path(ignored).string() << '\n';
    for (int i = 0; i < argc; ++i) report << argv[i] << '\n';
    const std::string base = self + "." + std::to_string(Tamber::CurrentProcessId());
    WriteWhole(base + ".report", report.str());

    std::this_thread::sleep_for(std::chrono::seconds(std::min(seconds, kMaxSeconds)));
    WriteWhole(base + ".done", "done\n");
    return 0;
}
