#include "plain_socket.h"

namespace Bench {

Tamber::Socket ListenLoopback(uint16_t& port) {
    const Tamber::Socket listening = Tamber::OpenStreamSocket();
    if (listening == Tamber::kNoSocket) return listening;
    if (!Tamber::BindLoopback(listening, 0) || !Tamber::ListenForConnections(listening)) {
        Tamber::CloseSocket(listening);
        return Tamber::kNoSocket;
    }
    port = Tamber::LocalPort(listening);
    return listening;
}

Tamber::Socket AcceptWithin(Tamber::Socket listening, uint32_t timeoutMs) {
    if (Tamber::WaitReadable(listening, nullptr, timeoutMs) != Tamber::WaitOutcome::kDone) return Tamber::kNoSocket;
    const Tamber::Socket socket = Tamber::AcceptConnection(listening);
    if (socket != Tamber::kNoSocket) Tamber::SetNoDelay(socket);
    return socket;
}

Tamber::Socket ConnectNoDelay(uint16_t port) {
    const Tamber::Socket socket = Tamber::OpenStreamSocket();
    if (socket == Tamber::kNoSocket) return socket;
    if (!Tamber::ConnectLoopback(socket, port)) {
        Tamber::CloseSocket(socket);
        return Tamber::kNoSocket;
    }
    Tamber::SetNoDelay(socket);
    return socket;
}

bool SendAll(Tamber::Socket socket, const void* bytes, std::size_t length) {
    return Tamber::SendGather(socket, bytes, length, nullptr, 0);
}

bool ReceiveExactly(Tamber::Socket socket, void* bytes, std::size_t length) {
    char* at = static_cast<char*>(bytes);
    std::size_t received = 0;
    while (received < length) {
        const long count = Tamber::ReceiveSome(socket, at + received, length - received);
        if (count <= 0) return false;
        received += static_cast<std::size_t>(count);
    }
    return true;
}

void CloseConnection(Tamber::Socket socket) {
    if (socket == Tamber::kNoSocket) return;
    Tamber::ShutdownSocket(socket);
    Tamber::CloseSocket(socket);
}

}  // namespace Bench
