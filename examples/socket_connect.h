/* Connecting a TCP socket to 127.0.0.1, the host's own business: the library
 * runs an agent on a socket it is given and never opens one for a host. */
#ifndef VANTOR_EXAMPLE_SOCKET_CONNECT_H
#define VANTOR_EXAMPLE_SOCKET_CONNECT_H

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "TamberLauncher.h"

namespace Example {

inline bool StartSockets() {
#ifdef _WIN32
    WSADATA wsa;
    return WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
#else
    return true;
#endif
}

inline void StopSockets() {
#ifdef _WIN32
    WSACleanup();
#endif
}

// A socket connected to 127.0.0.1:port, or 0 when the connection failed.
inline VantorSocket ConnectLoopback(int port) {
    const auto s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
#ifdef _WIN32
        closesocket(s);
#else
        close(s);
#endif
        return 0;
    }
    return static_cast<VantorSocket>(s);
}

// Ends the connection (which also wakes the agent's reader) and closes it.
inline void Disconnect(VantorSocket s) {
#ifdef _WIN32
    shutdown(s, SD_BOTH);
    closesocket(s);
#else
    shutdown(s, SHUT_RDWR);
    close(s);
#endif
}

}  // namespace Example

#endif
