#include "SocketActivation.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace mintlux::server::SocketActivation {

namespace {

constexpr int kFirstFd = 3;

std::optional<long> number(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<int> listeningSocket() {
    const auto pid = number("LISTEN_PID");
    const auto count = number("LISTEN_FDS");
    unsetenv("LISTEN_PID");
    unsetenv("LISTEN_FDS");
    unsetenv("LISTEN_FDNAMES");
    if (!pid || !count || *pid != static_cast<long>(getpid()) || *count < 1) {
        return std::nullopt;
    }
    for (int fd = kFirstFd; fd < kFirstFd + *count; ++fd) {
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0) {
            fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }
    int listening = 0;
    socklen_t size = sizeof listening;
    if (getsockopt(kFirstFd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening) {
        return std::nullopt;
    }
    return kFirstFd;
}

}  // namespace mintlux::server::SocketActivation
