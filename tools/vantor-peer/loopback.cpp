#include "loopback.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace Peer {
namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
const NativeSocket kBadSocket = INVALID_SOCKET;

std::string LastError() {
    const int code = WSAGetLastError();
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code), 0,
                   text, sizeof text, nullptr);
    std::string reason = text;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

void CloseNative(NativeSocket s) { closesocket(s); }
#else
using NativeSocket = int;
const NativeSocket kBadSocket = -1;

std::string LastError() { return std::strerror(errno); }

void CloseNative(NativeSocket s) { close(s); }

// Descriptor 0 is free only when standard input was closed; the agent would
// take that value for "no socket".
NativeSocket AvoidZero(NativeSocket s) {
    if (s != 0) return s;
    const NativeSocket other = dup(s);
    close(s);
    return other;
}
#endif

}  // namespace

bool StartSockets(std::string* error) {
#ifdef _WIN32
    WSADATA data;
    const int code = WSAStartup(MAKEWORD(2, 2), &data);
    if (code != 0) *error = "cannot start Winsock: error " + std::to_string(code);
    return code == 0;
#else
    (void)error;
    return true;
#endif
}

void StopSockets() {
#ifdef _WIN32
    WSACleanup();
#endif
}

VantorSocket ConnectLoopback(int port, std::string* error) {
    NativeSocket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#ifndef _WIN32
    if (s != kBadSocket) s = AvoidZero(s);
#endif
    if (s == kBadSocket) {
        *error = LastError();
        return 0;
    }
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = LastError();
        CloseNative(s);
        return 0;
    }
    return static_cast<VantorSocket>(s);
}

void Disconnect(VantorSocket socket) {
    const auto s = static_cast<NativeSocket>(socket);
#ifdef _WIN32
    shutdown(s, SD_BOTH);
#else
    shutdown(s, SHUT_RDWR);
#endif
    CloseNative(s);
}

}  // namespace Peer
