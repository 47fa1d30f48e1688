#include "platform/shared_mutex.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Tamber {

// A Unix socket bound in Linux's abstract namespace: the name exists exactly as
// long as some process keeps the socket open, and vanishes when it dies.
std::shared_ptr<SharedMutex> SharedMutex::Create(const char* name) {
    std::shared_ptr<SharedMutex> holder(new SharedMutex());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return holder;
    holder->held_ = true;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::min(std::strlen(name), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name, length);  // leading NUL: abstract namespace
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0) {
        close(fd);  // another process holds the name: hold nothing, carry on
        return holder;
    }
    holder->handle_ = fd;
    holder->name_ = name;
    return holder;
}

SharedMutex::~SharedMutex() {
    if (handle_ != kNoHandle) close(static_cast<int>(handle_));
}

}  // namespace Tamber
