// vantor-peer: speaks the protocol through the library, as a server
// ("listen PORT") or as a client ("connect PORT"), printing what arrives and
// sending what is typed. See --help.
#include <cstdio>
#include <string>

#include "TamberLauncher.h"
#include "arguments.h"
#include "loopback.h"
#include "output.h"
#include "sessions.h"

int main(int argc, char** argv) {
    Peer::Arguments arguments;
    std::string error;
    if (!Peer::ParseArguments(argc, argv, &arguments, &error)) {
        std::fprintf(stderr, "vantor-peer: %s\n", error.c_str());
        return 2;
    }
    if (arguments.mode == Peer::Mode::kHelp) {
        std::fputs(Peer::UsageText().c_str(), stdout);
        return 0;
    }
    if (!Peer::StartSockets(&error)) {
        std::fprintf(stderr, "vantor-peer: %s\n", error.c_str());
        return 1;
    }
    Vantor_Init("peer");
    int status = 0;
    {
        Peer::Output output(arguments.showAll);
        status = arguments.mode == Peer::Mode::kListen ? Peer::RunListen(arguments.port, output)
                                                       : Peer::RunConnect(arguments.port, output);
    }
    Vantor_Remove();
    Peer::StopSockets();
    return status;
}
