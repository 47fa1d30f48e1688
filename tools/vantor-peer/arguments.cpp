#include "arguments.h"

#include <vector>

#include "commands.h"

namespace Peer {

int ParsePort(const std::string& text) {
    // Five digits at most, so the value cannot overflow before the range check.
    if (text.empty() || text.size() > 5) return 0;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        port = port * 10 + (c - '0');
    }
    return port <= 65535 ? port : 0;
}

bool ParseArguments(int argc, const char* const* argv, Arguments* arguments, std::string* error) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            arguments->mode = Mode::kHelp;
            return true;
        }
        if (word == "--all") {
            arguments->showAll = true;
        } else if (word.size() > 1 && word[0] == '-') {
            *error = "unknown option '" + word + "' (see --help)";
            return false;
        } else {
            words.push_back(word);
        }
    }
    if (words.empty()) {
        *error = "missing mode: listen PORT or connect PORT (see --help)";
        return false;
    }
    if (words[0] == "listen") {
        arguments->mode = Mode::kListen;
    } else if (words[0] == "connect") {
        arguments->mode = Mode::kConnect;
    } else {
        *error = "unknown mode '" + words[0] + "': listen PORT or connect PORT (see --help)";
        return false;
    }
    if (words.size() < 2) {
        *error = "missing PORT after '" + words[0] + "' (see --help)";
        return false;
    }
    arguments->port = ParsePort(words[1]);
    if (arguments->port == 0) {
        *error = "bad port '" + words[1] + "': a number 1..65535 (see --help)";
        return false;
    }
    if (words.size() > 2) {
        *error = "unexpected argument '" + words[2] + "' (see --help)";
        return false;
    }
    return true;
}

std::string UsageText() {
    return std::string(
               "vantor-peer: a peer of the TamberLauncher protocol, for testing the other side\n"
               "\n"
               "Usage:\n"
               "  vantor-peer [--all] listen PORT    listen on 127.0.0.1:PORT; what you type goes to every client\n"
               "  vantor-peer [--all] connect PORT   connect to 127.0.0.1:PORT; what you type goes to the server\n"
               "  vantor-peer --help                 this text\n"
               "\n"
               "Both modes run the connection through the library's message agent: every\n"
               "message received is answered with a reply, and a heartbeat goes out every\n"
               "25 seconds.\n"
               "\n"
               "Each message received is printed on standard output as one line:\n"
               "  received VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME (12) \"hello\"\n"
               "  received VANTORMESSAGETYPE_CLOSE (3) (no payload)\n"
               "The payload is quoted; \\\" \\\\ \\n \\r \\t and \\xHH stand for a quote, a\n"
               "backslash and control characters. Replies and heartbeats are printed only\n"
               "with --all.\n"
               "\n"
               "Type one message per line:  TYPE [payload]\n"
               "  TYPE      a number ") +
           std::to_string(kFirstType) + ".." + std::to_string(kLastType) +
           ", or a name, with or without the VANTORMESSAGETYPE_\n"
           "            prefix, in any case: 11, CHATMESSAGE_TO_GAME, vantormessagetype_close\n"
           "  payload   the rest of the line after the spaces that follow TYPE, as typed;\n"
           "            none when the line ends after TYPE\n"
           "  help      lists the message types\n"
           "  quit      ends the peer, as does the end of input\n"
           "Bad input is reported on standard error and the peer carries on.\n"
           "\n"
           "Status lines and errors go to standard error. The library's log, with every\n"
           "message sent and received, is vantor-peer.log in the working directory.\n"
           "\n"
           "Exit status: 0 at quit or the end of input, 1 when the port cannot be\n"
           "listened on or connected to, 2 for a bad command line.\n";
}

}  // namespace Peer
