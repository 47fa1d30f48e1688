// IPv4 TCP sockets on the loopback address, and the wake-up that lets a
// blocked reader be stopped without touching a socket that may be gone.
//
// Windows: Winsock 2 (every client and server starts the library). Linux: BSD
// sockets; every descriptor is close-on-exec so that no child process
// inherits one, and no send raises SIGPIPE.
//
// Failures leave the system's code for them (WSAGetLastError on Windows, errno
// on Linux) as the calling thread's last error, which LastSocketError returns.
// The calls with an `error` argument (null: not wanted) hand the code back as a
// value, which stays right whatever runs before it is logged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "TamberLauncher.h"
#include "platform/wait.h"

namespace Tamber {

using Socket = VantorSocket;
// INVALID_SOCKET on Windows, -1 on Linux.
constexpr Socket kNoSocket = static_cast<Socket>(-1);

// Windows: WSAStartup asking for version 2.2; returns 0 or its error code.
// Linux: nothing to start, returns 0.
int StartSocketLibrary();
// Windows: one WSACleanup for one successful start. Linux: nothing.
void StopSocketLibrary();

// A blocking IPv4 TCP stream socket (Windows: overlapped, not inheritable;
// Linux: close-on-exec). kNoSocket on failure. The caller owns it.
Socket OpenStreamSocket();
// Lets a listening socket rebind its port while old connections wait in
// TIME_WAIT. Linux: SO_REUSEADDR set to 1. Windows: nothing, as Windows allows
// that rebind anyway and there SO_REUSEADDR would let another socket bind a
// port that is in use.
bool SetReuseAddress(Socket socket);
// Binds to 127.0.0.1 at port (0: a port the system chooses).
bool BindLoopback(Socket socket, uint16_t port);
// Listens with the largest backlog the platform accepts (0x7fffffff, capped by the system).
bool ListenForConnections(Socket socket);
// The local port the socket is bound to, 0 when it is not bound.
uint16_t LocalPort(Socket socket);
// Connects to 127.0.0.1 at port, blocking until the platform decides. False with *error set on failure.
bool ConnectLoopback(Socket socket, uint16_t port, uint32_t* error = nullptr);
// The next connection of a listening socket (close-on-exec on Linux), or
// kNoSocket. The caller owns it.
Socket AcceptConnection(Socket listening);
// TCP_NODELAY: small messages leave at once instead of waiting for the peer's acknowledgement.
bool SetNoDelay(Socket socket);
// SO_LINGER with a zero time-out: a later close resets the connection.
bool SetResetOnClose(Socket socket);

// A second handle of the same connection that the caller owns (close-on-exec
// on Linux; WSADuplicateSocket into this process on Windows). The connection
// stays open until both handles are closed. kNoSocket on failure, with *error set.
Socket DuplicateSocket(Socket socket, uint32_t* error);

class Waker;
// Writes head then body (either may be empty) with gather calls, repeating for
// what a partial write left over. While the connection has no room the wait
// also watches waker (may be null): kDone once all is sent, kWoken once the
// waker has been woken, kTimedOut when no byte has left for stallMs
// milliseconds, kFailed at an error. *error is set after all three (woken:
// ECANCELED or WSA_OPERATION_ABORTED, timed out: ETIMEDOUT or WSAETIMEDOUT);
// a message cut short by them has broken the stream.
WaitOutcome SendGatherWaiting(Socket socket, const void* head, std::size_t headLength, const void* body,
                              std::size_t bodyLength, const Waker* waker, uint32_t stallMs, uint32_t* error);
// The same without a wake-up or a limit: true once everything has been sent.
inline bool SendGather(Socket socket, const void* head, std::size_t headLength, const void* body,
                       std::size_t bodyLength) {
    return SendGatherWaiting(socket, head, headLength, body, bodyLength, nullptr, kWaitForever, nullptr) ==
           WaitOutcome::kDone;
}
// Receives up to length bytes, retrying interrupted calls: the count, 0 when
// the peer closed the connection in order, -1 on error (with *error set).
long ReceiveSome(Socket socket, void* buffer, std::size_t length, uint32_t* error = nullptr);

// Ends both directions of the connection, which makes every blocked receive
// on any handle of it return. Needed before close on Linux, where closing a
// descriptor does not wake a thread blocked on it.
bool ShutdownSocket(Socket socket);
bool CloseSocket(Socket socket);

uint32_t LastSocketError();
// Connection reset by the peer: WSAECONNRESET (10054) on Windows, ECONNRESET on Linux.
bool IsConnectionReset(uint32_t code);

// Waits up to ms milliseconds (kWaitForever: no limit) until socket is
// readable (data, an orderly close or an error to collect) or waker (may be
// null) has been woken. A woken waker wins over a readable socket. kFailed sets *error.
WaitOutcome WaitReadable(Socket socket, const Waker* waker, uint32_t ms, uint32_t* error = nullptr);

// A one-shot wake-up that a wait can watch beside a socket (Linux: a pipe;
// Windows: a UDP socket on the loopback address connected to itself).
// Once woken it stays woken. Wake may be called from any thread.
class Waker {
public:
    // Null on failure, with *error set.
    static std::unique_ptr<Waker> Create(uint32_t* error = nullptr);
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;
    void Wake();

private:
    friend WaitOutcome WaitReadable(Socket socket, const Waker* waker, uint32_t ms, uint32_t* error);
    friend WaitOutcome SendGatherWaiting(Socket socket, const void* head, std::size_t headLength, const void* body,
                                         std::size_t bodyLength, const Waker* waker, uint32_t stallMs, uint32_t* error);
    Waker() = default;
    Socket readEnd_ = kNoSocket;
    Socket writeEnd_ = kNoSocket;  // the same socket as readEnd_ on Windows
};

}  // namespace Tamber
