#include "platform/TcpSocket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace VexoPlatform {

int TcpSocketOpen(int& fd) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? errno : 0;
}

int TcpConnect(int fd, const char* host, int port) {
    // getaddrinfo rather than gethostbyname: the two connections may connect from two threads.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return kHostNotFound;
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    address.sin_port = htons(uint16_t(port));
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

void TcpSendAtOnce(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int SocketSetBlocking(int fd, bool blocking) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return errno;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, wanted) == 0 ? 0 : errno;
}

int SocketClose(int fd) { return ::close(fd) == 0 ? 0 : errno; }

int SocketSend(int fd, const void* data, size_t length, size_t& sent) {
    const char* bytes = static_cast<const char*>(data);
    sent = 0;
    while (sent < length) {
        // MSG_NOSIGNAL: a peer that went away must give EPIPE, not end the program with SIGPIPE.
        const ssize_t n = ::send(fd, bytes + sent, length - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        sent += size_t(n);
    }
    return 0;
}

int SocketReceive(int fd, void* buffer, size_t capacity, size_t& received) {
    ssize_t n;
    do {
        n = ::recv(fd, buffer, capacity, 0);
    } while (n < 0 && errno == EINTR);
    received = n < 0 ? 0 : size_t(n);
    return n < 0 ? errno : 0;
}

SocketWait WaitReadableOrWoken(int fd, int wakeFd, int timeoutMs) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int r = ::poll(p, wakeFd >= 0 ? 2 : 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r < 0) return errno == EINTR ? SocketWait::TimedOut : SocketWait::Failed;
    if (r == 0) return SocketWait::TimedOut;
    if (p[0].revents) return SocketWait::Readable;
    return SocketWait::Woken;
}

}  // namespace VexoPlatform
