#include "sessions.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "TamberLauncher.h"
#include "commands.h"
#include "line_input.h"
#include "loopback.h"

namespace Peer {
namespace {

using SendFunction = std::function<void(const Command&)>;

int32_t VANTOR_CALL OnMessage(void* context, int32_t type, const char* payload) {
    static_cast<Output*>(context)->Received(type, payload);
    return 1;
}

const char* PayloadOf(const Command& command) { return command.hasPayload ? command.payload.c_str() : nullptr; }

std::string Address(int port) { return "127.0.0.1:" + std::to_string(port); }

// Hands every message typed on standard input to send, until "quit" or the
// end of input; reports bad lines and carries on.
void CommandLoop(Output& output, const SendFunction& send) {
    std::string line;
    for (;;) {
        const LineStatus status = ReadLine(stdin, &line);
        if (status == LineStatus::kEnd) return;
        if (status == LineStatus::kTooLong) {
            output.Note("line too long (at most " + std::to_string(kMaxLineLength) + " characters); nothing sent");
            continue;
        }
        const Command command = ParseCommand(line);
        switch (command.kind) {
            case Command::Kind::kNothing:
                break;
            case Command::Kind::kQuit:
                return;
            case Command::Kind::kHelp:
                output.Text(TypeListText());
                break;
            case Command::Kind::kBad:
                output.Note(command.error);
                break;
            case Command::Kind::kSend:
                send(command);
                break;
        }
    }
}

// Watches a connected agent and says once when the other side has ended the
// connection (the agent then stops its heartbeats, the one sign it gives).
class ConnectionWatch {
public:
    ConnectionWatch(VantorMessageAgent* agent, Output& output)
        : agent_(agent), output_(output), thread_([this] { Run(); }) {}
    ~ConnectionWatch() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    ConnectionWatch(const ConnectionWatch&) = delete;
    ConnectionWatch& operator=(const ConnectionWatch&) = delete;

    bool Ended() const { return ended_.load(); }

private:
    void Run() {
        std::unique_lock<std::mutex> hold(lock_);
        while (!stopping_) {
            int32_t active = 1;
            VantorMessageAgent_GetHeartbeatActive(agent_, &active);
            if (active == 0) {
                ended_.store(true);
                output_.Note("the other side closed the connection; type quit or end the input to stop");
                return;
            }
            wake_.wait_for(hold, std::chrono::milliseconds(50));
        }
    }

    VantorMessageAgent* const agent_;
    Output& output_;
    std::atomic<bool> ended_{false};
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;  // last: starts once everything it reads exists
};

}  // namespace

int RunListen(int port, Output& output) {
    VantorServer* server = nullptr;
    if (!VantorServer_Create(&server) || server == nullptr) {
        output.Note("cannot create a server (see vantor-peer.log)");
        return 1;
    }
    VantorServer_SetMessageArrivedCallback(server, &output, OnMessage);
    if (!VantorServer_Start(server, port)) {
        output.Note("cannot listen on " + Address(port) + " (the reason is in vantor-peer.log)");
        VantorServer_Delete(&server);
        return 1;
    }
    output.Note("listening on " + Address(port) +
                "; each line typed goes to every connected client (quit or end of input stops)");
    CommandLoop(output, [&](const Command& command) {
        if (!VantorServer_SendMessageToAllClients(server, command.type, PayloadOf(command)))
            output.Note(TypeName(command.type) + " was not sent (see vantor-peer.log)");
    });
    VantorServer_Delete(&server);
    return 0;
}

int RunConnect(int port, Output& output) {
    std::string error;
    const VantorSocket socket = ConnectLoopback(port, &error);
    if (socket == 0) {
        output.Note("cannot connect to " + Address(port) + ": " + error);
        return 1;
    }
    VantorMessageAgent* agent = nullptr;
    if (!VantorMessageAgent_Create(&agent) || agent == nullptr) {
        output.Note("cannot create a message agent (see vantor-peer.log)");
        Disconnect(socket);
        return 1;
    }
    VantorMessageAgent_SetMessageArrivedCallback(agent, &output, OnMessage);
    int status = 1;
    if (VantorMessageAgent_Start(agent, socket)) {
        output.Note("connected to " + Address(port) + "; each line typed is sent (quit or end of input stops)");
        ConnectionWatch watch(agent, output);
        CommandLoop(output, [&](const Command& command) {
            if (watch.Ended())
                output.Note(TypeName(command.type) + " was not sent: the connection has ended");
            else if (!VantorMessageAgent_SendMessage(agent, command.type, PayloadOf(command)))
                output.Note(TypeName(command.type) + " was not sent (see vantor-peer.log)");
        });
        status = 0;
    } else {
        output.Note("cannot start a message agent (see vantor-peer.log)");
    }
    // The socket goes before the agent: closing it is what ends the agent's
    // blocked read, so that the agent's delete finds its threads ended.
    Disconnect(socket);
    VantorMessageAgent_Delete(&agent);
    return status;
}

}  // namespace Peer
