#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace Tamber {

namespace {

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool SetIntOption(Socket socket, int level, int name, int value) {
    return setsockopt(socket, level, name, &value, sizeof value) == 0;
}

// Hands code back to a caller that wants it (error not null).
void Report(uint32_t* error, int code) {
    if (error != nullptr) *error = static_cast<uint32_t>(code);
}

}  // namespace

int StartSocketLibrary() { return 0; }

void StopSocketLibrary() {}

Socket OpenStreamSocket() {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return socket < 0 ? kNoSocket : socket;
}

bool SetReuseAddress(Socket socket) { return SetIntOption(socket, SOL_SOCKET, SO_REUSEADDR, 1); }

bool BindLoopback(Socket socket, uint16_t port) {
    const sockaddr_in address = LoopbackAddress(port);
    return bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool ListenForConnections(Socket socket) {
    // Linux caps the value at somaxconn.
    return listen(socket, INT_MAX) == 0;
}

uint16_t LocalPort(Socket socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool ConnectLoopback(Socket socket, uint16_t port, uint32_t* error) {
    const sockaddr_in address = LoopbackAddress(port);
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
    if (errno != EINTR) {
        Report(error, errno);
        return false;
    }
    // An interrupted connect goes on in the background; wait for its outcome.
    pollfd entry{socket, POLLOUT, 0};
    while (poll(&entry, 1, -1) < 0) {
        if (errno != EINTR) {
            Report(error, errno);
            return false;
        }
    }
    int outcome = 0;
    socklen_t length = sizeof outcome;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &outcome, &length) != 0) outcome = errno;
    if (outcome == 0) return true;
    Report(error, outcome);
    return false;
}

Socket AcceptConnection(Socket listening) {
    for (;;) {
        const int socket = accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket >= 0) return socket;
        if (errno != EINTR) return kNoSocket;
    }
}

bool SetNoDelay(Socket socket) { return SetIntOption(socket, IPPROTO_TCP, TCP_NODELAY, 1); }

bool SetResetOnClose(Socket socket) {
    const linger option{1, 0};
    return setsockopt(socket, SOL_SOCKET, SO_LINGER, &option, sizeof option) == 0;
}

Socket DuplicateSocket(Socket socket, uint32_t* error) {
    const int copy = fcntl(socket, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0) return copy;
    Report(error, errno);
    return kNoSocket;
}

WaitOutcome SendGatherWaiting(Socket socket, const void* head, std::size_t headLength, const void* body,
                              std::size_t bodyLength, const Waker* waker, uint32_t stallMs, uint32_t* error) {
    iovec parts[2] = {{const_cast<void*>(head), headLength}, {const_cast<void*>(body), bodyLength}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    while (parts[0].iov_len + parts[1].iov_len > 0) {
        // Per call, not on the descriptor: the owner's handle shares its flags.
        const ssize_t sent = sendmsg(socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                Report(error, errno);
                return WaitOutcome::kFailed;
            }
            pollfd entries[2] = {{socket, POLLOUT, 0}, {waker ? waker->readEnd_ : -1, POLLIN, 0}};
            const int timeout = stallMs == kWaitForever ? -1 : static_cast<int>(stallMs > INT_MAX ? INT_MAX : stallMs);
            const int ready = poll(entries, 2, timeout);
            if (ready < 0 && errno != EINTR) {
                Report(error, errno);
                return WaitOutcome::kFailed;
            }
            if (ready > 0 && entries[1].revents != 0) {
                Report(error, ECANCELED);
                return WaitOutcome::kWoken;
            }
            if (ready == 0) {
                Report(error, ETIMEDOUT);
                return WaitOutcome::kTimedOut;
            }
            continue;
        }
        std::size_t done = static_cast<std::size_t>(sent);
        for (iovec& part : parts) {
            const std::size_t taken = done < part.iov_len ? done : part.iov_len;
            part.iov_base = static_cast<char*>(part.iov_base) + taken;
            part.iov_len -= taken;
            done -= taken;
        }
    }
    return WaitOutcome::kDone;
}

long ReceiveSome(Socket socket, void* buffer, std::size_t length, uint32_t* error) {
    for (;;) {
        const ssize_t received = recv(socket, buffer, length, 0);
        if (received >= 0) return static_cast<long>(received);
        if (errno != EINTR) {
            Report(error, errno);
            return -1;
        }
    }
}

bool ShutdownSocket(Socket socket) { return shutdown(socket, SHUT_RDWR) == 0; }

bool CloseSocket(Socket socket) {
    // Linux releases the descriptor even when close reports EINTR: never retry.
    return close(socket) == 0 || errno == EINTR;
}

uint32_t LastSocketError() { return static_cast<uint32_t>(errno); }

bool IsConnectionReset(uint32_t code) { return code == static_cast<uint32_t>(ECONNRESET); }

std::unique_ptr<Waker> Waker::Create(uint32_t* error) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        Report(error, errno);
        return nullptr;
    }
    std::unique_ptr<Waker> waker(new Waker());
    waker->readEnd_ = ends[0];
    waker->writeEnd_ = ends[1];
    return waker;
}

Waker::~Waker() {
    close(writeEnd_);
    close(readEnd_);
}

void Waker::Wake() {
    const char signal = 1;
    // A full pipe is woken already.
    while (write(writeEnd_, &signal, 1) < 0 && errno == EINTR) {
    }
}

WaitOutcome WaitReadable(Socket socket, const Waker* waker, uint32_t ms, uint32_t* error) {
    pollfd entries[2] = {{socket, POLLIN, 0}, {waker ? waker->readEnd_ : -1, POLLIN, 0}};
    const int timeout = ms == kWaitForever ? -1 : static_cast<int>(ms > INT_MAX ? INT_MAX : ms);
    for (;;) {
        const int ready = poll(entries, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            Report(error, errno);
            return WaitOutcome::kFailed;
        }
        if (ready == 0) return WaitOutcome::kTimedOut;
        if (entries[1].revents != 0) return WaitOutcome::kWoken;
        if (entries[0].revents & POLLNVAL) {
            Report(error, EBADF);
            return WaitOutcome::kFailed;
        }
        return WaitOutcome::kDone;
    }
}

}  // namespace Tamber
