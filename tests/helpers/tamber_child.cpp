// A stand-in for the launcher, the Air client or the game in tests.
//
// Its settings come from "<own path>.cfg", so that every copy (and every
// start of it) can be told what to do whatever its command line holds. Lines:
//   seconds N       live N seconds (at most 60), then end; default 60
//   kill-own-name   first end, by name, every other process of its own name
//   mode air        act as an Air client: connect to the port after "--"
//   mode game       act as the game: a game controller on the port in argv[1]
// It writes "<own path>.<pid>.report" (working directory, then each argument,
// one per line, as received) and, if it lives to its end, "<own path>.<pid>.done".
//
// As the Air client or the game it records what it receives in
// "air-events.txt" or "game-events.txt" beside itself and acts on each new
// line of "air-commands.txt" ("TYPE payload" to send, "quit") or
// "game-commands.txt" ("stopped"). The game reports LAUNCHED, answers each
// chat line with "pong:<line>", and on a close request or "stopped" reports
// STOPPED and exits.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "TamberLauncher.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/socket.h"
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

struct Settings { unsigned seconds = kMaxSeconds; bool killOwnName = false; std::string mode; };

Settings ReadSettings(const std::string& file) {
    Settings settings;
    std::ifstream in(file);
    for (std::string key; in >> key;) {
        if (key == "seconds") in >> settings.seconds;
        if (key == "mode") in >> settings.mode;
        settings.killOwnName |= key == "kill-own-name";
    }
    settings.seconds = std::min(settings.seconds, kMaxSeconds);
    return settings;
}

// Written under a temporary name first, so a reader never sees half of it.
void WriteWhole(const std::string& file, const std::string& text) {
    const std::string temporary = file + ".tmp";
    std::ofstream(temporary, std::ios::binary) << text;
    std::error_code ignored;
    std::filesystem::rename(temporary, file, ignored);
}

std::string g_directory;
std::mutex g_eventLock;  // the socket thread and the main thread both record

void Record(const char* file, const std::string& line) {
    std::lock_guard<std::mutex> guard(g_eventLock);
    std::ofstream(g_directory + file, std::ios::binary | std::ios::app) << line << '\n';
}

// Hands out each new whole line of a command file once, waiting up to two minutes.
struct Commands {
    bool Next(std::string& line, const std::atomic<bool>& stop) {
        for (int pass = 0; pass < 6000 && !stop.load(); ++pass) {
            std::ifstream in(path_, std::ios::binary);
            in.seekg(static_cast<std::streamoff>(offset_));
            if (in && std::getline(in, line) && !in.eof()) {  // only whole lines
                offset_ += line.size() + 1;
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return true;
            }
            Tamber::SleepMilliseconds(20);
        }
        return false;
    }
    std::string path_;
    std::size_t offset_ = 0;
};

std::string Text(const char* payload) { return payload ? payload : "<null>"; }
std::atomic<bool> g_closeRequested{false};

int32_t VANTOR_CALL AirReceived(void*, int32_t type, const char* payload) {
    if (type != VANTORMESSAGETYPE_HEARTBEAT && type != VANTORMESSAGETYPE_REPLY)
        Record("air-events.txt", "recv " + std::to_string(type) + " " + Text(payload));
    return 1;
}

void VANTOR_CALL GameChat(void*, const char* text) {
    Record("game-events.txt", "chat " + Text(text));
    VantorGameController_SendChatMessage(("pong:" + Text(text)).c_str());
}

void VANTOR_CALL GameExit(void*) { Record("game-events.txt", "close"), g_closeRequested.store(true); }

int RunAir(int argc, char** argv) {
    uint16_t port = 0;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--") port = static_cast<uint16_t>(std::atoi(argv[i + 1]));
    Tamber::StartSocketLibrary();
    Tamber::Socket socket = Tamber::OpenStreamSocket();
    if (!Tamber::ConnectLoopback(socket, port)) return Record("air-events.txt", "connect failed"), 2;
    VantorMessageAgent* agent = nullptr;
    VantorMessageAgent_Create(&agent);
    VantorMessageAgent_SetMessageArrivedCallback(agent, nullptr, AirReceived);
    VantorMessageAgent_Start(agent, socket);
    Record("air-events.txt", "connected");
    Commands commands{g_directory + "air-commands.txt"};
    std::string line;
    while (commands.Next(line, g_closeRequested) && line != "quit") {
        const std::size_t space = line.find(' ');
        const std::string payload = space == std::string::npos ? "" : line.substr(space + 1);
        VantorMessageAgent_SendMessage(agent, std::atoi(line.c_str()), space == std::string::npos ? nullptr : payload.c_str());
    }
    Record("air-events.txt", "quit");
    Tamber::ShutdownSocket(socket), Tamber::CloseSocket(socket);
    VantorMessageAgent_Delete(&agent);
    Tamber::StopSocketLibrary();
    return 0;
}

int RunGame(int argc, char** argv) {
    if (argc < 4) return 2;
    VantorGameController_Init(argv[2], argv[3]);
    VantorGameController_SetReceiveChatMessageCallback(nullptr, GameChat);
    VantorGameController_SetExitCallback(nullptr, GameExit);
    if (!VantorGameController_Start(std::atoi(argv[1]))) return Record("game-events.txt", "connect failed"), 3;
    VantorGameController_SendGameLaunchedMessage();
    Record("game-events.txt", "launched");
    Commands commands{g_directory + "game-commands.txt"};
    for (std::string line; commands.Next(line, g_closeRequested) && line != "stopped";) continue;
    VantorGameController_SendShutdownMessage();
    Record("game-events.txt", "stopped");
    VantorGameController_Remove();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string self = OwnPath();
    g_directory = std::filesystem::path(self).parent_path().string() + "/";
    const Settings settings = ReadSettings(self + ".cfg");
    if (settings.killOwnName) VantorProcessHelper_KillProcessByName(self.c_str());

    std::ostringstream report;
    std::error_code ignored;
    report << std::filesystem::current_path(ignored).string() << '\n';
    for (int i = 0; i < argc; ++i) report << argv[i] << '\n';
    const std::string base = self + "." + std::to_string(Tamber::CurrentProcessId());
    WriteWhole(base + ".report", report.str());

    if (!settings.mode.empty()) {
        std::string arguments = "args";
        for (int i = 1; i < argc; ++i) arguments += std::string("|") + argv[i];
        Record((settings.mode + "-events.txt").c_str(), arguments);
    }
    if (settings.mode == "air") return RunAir(argc, argv);
    if (settings.mode == "game") return RunGame(argc, argv);
    std::this_thread::sleep_for(std::chrono::seconds(settings.seconds));
    WriteWhole(base + ".done", "done\n");
    return 0;
}
