#include "touchsim/SocketUtil.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace touchsim {

int OpenListener(const std::string& host, uint16_t port, uint16_t& boundPort) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) return -1;

    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    // Lets a test restart the service on the same port while old connections linger in TIME_WAIT.
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        const int error = errno;  // for the caller's message
        close(fd);
        errno = error;
        return -1;
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    boundPort = ntohs(addr.sin_port);
    return fd;
}

int AcceptClient(int listener) {
    int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return -1;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool SendAll(int fd, const void* data, size_t length, int timeoutMs) {
    const char* p = static_cast<const char*>(data);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (length > 0) {
        ssize_t n = send(fd, p, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            length -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd pfd{fd, POLLOUT, 0};
            poll(&pfd, 1, static_cast<int>(left.count()));
            continue;
        }
        return false;
    }
    return true;
}

WakePipe::WakePipe() {
    if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
}

WakePipe::~WakePipe() {
    CloseFd(fds_[0]);
    CloseFd(fds_[1]);
}

void WakePipe::Wake() {
    char c = 1;
    // A full pipe already wakes the reader; the result does not matter.
    ssize_t ignored = write(fds_[1], &c, 1);
    (void)ignored;
}

void WakePipe::Drain() {
    char buffer[64];
    while (read(fds_[0], buffer, sizeof buffer) > 0) {
    }
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

void ResetFd(int& fd) {
    if (fd < 0) return;
    linger abortive{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    CloseFd(fd);
}

}  // namespace touchsim
