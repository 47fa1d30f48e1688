// A test Air client: connects to the port after "--" on its command line,
// records every message it receives, and sends what the test writes into
// air-commands.txt ("TYPE payload" per line; "quit" ends it).
#include <atomic>
#include <cstdlib>
#include <string>

#include "TamberLauncher.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "puppet.h"

namespace {

Puppet::EventFile g_events("air-events.txt");

int32_t VANTOR_CALL OnMessage(void*, int32_t messageType, const char* payload) {
    if (messageType != VANTORMESSAGETYPE_HEARTBEAT && messageType != VANTORMESSAGETYPE_REPLY)
        g_events.Record("recv " + std::to_string(messageType) + " " + Puppet::Text(payload));
    return 1;
}

uint16_t PortAfterDashes(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--") return static_cast<uint16_t>(std::atoi(argv[i + 1]));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string arguments = "args";
    for (int i = 1; i < argc; ++i) arguments += std::string("|") + argv[i];
    g_events.Record(arguments);

    Tamber::StartSocketLibrary();
    Tamber::Socket socket = Tamber::OpenStreamSocket();
    if (!Tamber::ConnectLoopback(socket, PortAfterDashes(argc, argv))) {
        g_events.Record("connect failed");
        return 2;
    }
    VantorMessageAgent* agent = nullptr;
    VantorMessageAgent_Create(&agent);
    VantorMessageAgent_SetMessageArrivedCallback(agent, nullptr, OnMessage);
    VantorMessageAgent_Start(agent, socket);
    g_events.Record("connected");

    Puppet::CommandFile commands("air-commands.txt");
    for (int pass = 0; pass < 6000; ++pass) {  // at most about two minutes
        std::string line;
        if (!commands.Next(line)) {
            Tamber::SleepMilliseconds(20);
            continue;
        }
        if (line == "quit") break;
        const std::size_t space = line.find(' ');
        const int32_t type = std::atoi(line.substr(0, space).c_str());
        const std::string payload = space == std::string::npos ? "" : line.substr(space + 1);
        VantorMessageAgent_SendMessage(agent, type, space == std::string::npos ? nullptr : payload.c_str());
    }
    g_events.Record("quit");
    Tamber::ShutdownSocket(socket);
    Tamber::CloseSocket(socket);
    VantorMessageAgent_Delete(&agent);
    Tamber::StopSocketLibrary();
    return 0;
}
