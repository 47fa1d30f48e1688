#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <windows.h>

#include "platform/socket.h"

namespace Tamber {

namespace {

constexpr DWORD kSocketFlags = WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT;
constexpr int kLargestBacklog = 0x7fffffff;

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool SetIntOption(Socket socket, int level, int name, int value) {
    return setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

// Hands code back to a caller that wants it (error not null).
void Report(uint32_t* error, int code) {
    if (error != nullptr) *error = static_cast<uint32_t>(code);
}

// Windows takes at most INT_MAX bytes per buffer; ours are far smaller.
WSABUF Buffer(const void* data, std::size_t length) {
    WSABUF buffer;
    buffer.len = static_cast<ULONG>(length);
    buffer.buf = static_cast<char*>(const_cast<void*>(data));
    return buffer;
}

}  // namespace

int StartSocketLibrary() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}

void StopSocketLibrary() { WSACleanup(); }

Socket OpenStreamSocket() {
    const SOCKET socket = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, kSocketFlags);
    return socket == INVALID_SOCKET ? kNoSocket : socket;
}

bool SetReuseAddress(Socket) { return true; }

bool BindLoopback(Socket socket, uint16_t port) {
    const sockaddr_in address = LoopbackAddress(port);
    return bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool ListenForConnections(Socket socket) { return listen(socket, kLargestBacklog) == 0; }

uint16_t LocalPort(Socket socket) {
    sockaddr_in address{};
    int length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool ConnectLoopback(Socket socket, uint16_t port, uint32_t* error) {
    const sockaddr_in address = LoopbackAddress(port);
    if (WSAConnect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address, nullptr, nullptr, nullptr,
                   nullptr) == 0)
        return true;
    Report(error, WSAGetLastError());
    return false;
}

Socket AcceptConnection(Socket listening) {
    const SOCKET socket = accept(listening, nullptr, nullptr);
    if (socket == INVALID_SOCKET) return kNoSocket;
    // Not every Winsock passes the listening socket's no-inherit flag on.
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    return socket;
}

bool SetNoDelay(Socket socket) { return SetIntOption(socket, IPPROTO_TCP, TCP_NODELAY, 1); }

bool SetResetOnClose(Socket socket) {
    linger option;
    option.l_onoff = 1;
    option.l_linger = 0;
    return setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option), sizeof option) == 0;
}

Socket DuplicateSocket(Socket socket, uint32_t* error) {
    WSAPROTOCOL_INFOW info;
    SOCKET copy = INVALID_SOCKET;
    if (WSADuplicateSocketW(socket, GetCurrentProcessId(), &info) == 0)
        copy = WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, kSocketFlags);
    if (copy != INVALID_SOCKET) return copy;
    Report(error, WSAGetLastError());
    return kNoSocket;
}

long ReceiveSome(Socket socket, void* buffer, std::size_t length, uint32_t* error) {
    // Winsock has no EINTR: WSAEINTR means the call was cancelled, an error like any other.
    const int received = recv(socket, static_cast<char*>(buffer), static_cast<int>(length), 0);
    if (received != SOCKET_ERROR) return static_cast<long>(received);
    Report(error, WSAGetLastError());
    return -1;
}

bool ShutdownSocket(Socket socket) { return shutdown(socket, SD_BOTH) == 0; }

bool CloseSocket(Socket socket) { return closesocket(socket) == 0; }

uint32_t LastSocketError() { return static_cast<uint32_t>(WSAGetLastError()); }

bool IsConnectionReset(uint32_t code) { return code == WSAECONNRESET; }

std::unique_ptr<Waker> Waker::Create(uint32_t* error) {
    const SOCKET socket = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, kSocketFlags);
    if (socket == INVALID_SOCKET) {
        Report(error, WSAGetLastError());
        return nullptr;
    }
    // Bound to a free loopback port and connected to itself: Wake sends it a datagram.
    sockaddr_in address = LoopbackAddress(0);
    int length = sizeof address;
    if (bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Report(error, WSAGetLastError());
        closesocket(socket);
        return nullptr;
    }
    std::unique_ptr<Waker> waker(new Waker());
    waker->readEnd_ = socket;
    waker->writeEnd_ = socket;
    return waker;
}

Waker::~Waker() { closesocket(readEnd_); }

void Waker::Wake() {
    const char signal = 1;
    send(writeEnd_, &signal, 1, 0);
}

WaitOutcome WaitReadable(Socket socket, const Waker* waker, uint32_t ms, uint32_t* error) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    if (waker) FD_SET(waker->readEnd_, &readable);
    timeval timeout{static_cast<long>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000L};
    const int ready = select(0, &readable, nullptr, nullptr, ms == kWaitForever ? nullptr : &timeout);
    if (ready == SOCKET_ERROR) {
        Report(error, WSAGetLastError());
        return WaitOutcome::kFailed;
    }
    if (ready == 0) return WaitOutcome::kTimedOut;
    if (waker && FD_ISSET(waker->readEnd_, &readable)) return WaitOutcome::kWoken;
    return WaitOutcome::kDone;
}

namespace {

// One overlapped write of at most this much, so that a stall is measured
// from the last bytes that left rather than from the start of a large message.
constexpr DWORD kSendSliceBytes = 64 * 1024;
constexpr DWORD kSendPollMilliseconds = 50;

bool IsWoken(const Waker* waker, Socket readEnd) {
    if (waker == nullptr) return false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(readEnd, &readable);
    timeval none{0, 0};
    return select(0, &readable, nullptr, nullptr, &none) == 1;
}

// Waits for one overlapped write; a write that is given up is cancelled
// and waited for, since it still uses the caller's buffers. error: why it
// did not complete.
WaitOutcome AwaitSend(Socket socket, WSAOVERLAPPED& overlapped, const Waker* waker, Socket wakerEnd, uint32_t stallMs,
                      DWORD& sent, int& error) {
    const ULONGLONG start = GetTickCount64();
    WaitOutcome result = WaitOutcome::kDone;
    while (WaitForSingleObject(overlapped.hEvent, kSendPollMilliseconds) == WAIT_TIMEOUT) {
        if (IsWoken(waker, wakerEnd))
            result = WaitOutcome::kWoken;
        else if (stallMs != kWaitForever && GetTickCount64() - start >= stallMs)
            result = WaitOutcome::kTimedOut;
        else
            continue;
        CancelIoEx(reinterpret_cast<HANDLE>(socket), &overlapped);
        break;
    }
    DWORD flags = 0;
    const BOOL done = WSAGetOverlappedResult(socket, &overlapped, &sent, TRUE, &flags);
    if (result == WaitOutcome::kWoken) error = WSA_OPERATION_ABORTED;
    if (result == WaitOutcome::kTimedOut) error = WSAETIMEDOUT;
    if (result == WaitOutcome::kDone && !done) {
        error = WSAGetLastError();
        result = WaitOutcome::kFailed;
    }
    return result;
}

}  // namespace

WaitOutcome SendGatherWaiting(Socket socket, const void* head, std::size_t headLength, const void* body,
                              std::size_t bodyLength, const Waker* waker, uint32_t stallMs, uint32_t* error) {
    WSABUF parts[2] = {Buffer(head, headLength), Buffer(body, bodyLength)};
    const WSAEVENT event = WSACreateEvent();
    if (event == WSA_INVALID_EVENT) {
        Report(error, WSAGetLastError());
        return WaitOutcome::kFailed;
    }
    WaitOutcome result = WaitOutcome::kDone;
    int failure = 0;
    while (result == WaitOutcome::kDone && parts[0].len + parts[1].len > 0) {
        WSABUF slice[2] = {parts[0], parts[1]};
        if (slice[0].len > kSendSliceBytes) slice[0].len = kSendSliceBytes;
        const DWORD left = kSendSliceBytes - slice[0].len;
        if (slice[1].len > left) slice[1].len = left;
        WSAOVERLAPPED overlapped{};
        overlapped.hEvent = event;
        WSAResetEvent(event);
        DWORD sent = 0;
        if (WSASend(socket, slice, 2, &sent, 0, &overlapped, nullptr) != 0) {
            failure = WSAGetLastError();
            if (failure != WSA_IO_PENDING) {
                result = WaitOutcome::kFailed;
                break;
            }
            result =
                AwaitSend(socket, overlapped, waker, waker ? waker->readEnd_ : INVALID_SOCKET, stallMs, sent, failure);
        }
        for (WSABUF& part : parts) {
            const DWORD taken = sent < part.len ? sent : part.len;
            part.buf += taken;
            part.len -= taken;
            sent -= taken;
        }
    }
    WSACloseEvent(event);
    if (result != WaitOutcome::kDone) Report(error, failure);
    return result;
}

}  // namespace Tamber
