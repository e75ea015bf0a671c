#include "foundation/VexoTCPManager.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/VexoLog.h"
#include "platform/LastError.h"
#include "foundation/SocketErrors.h"

namespace VexoSource {

VexoTCPManager::VexoTCPManager() = default;

VexoTCPManager::~VexoTCPManager() {
    Disconnect();
    if (IsOpen()) Close();
}

bool VexoTCPManager::Connect(const char* host, int32_t port, bool blocking) {
    std::lock_guard<std::mutex> g(m_socketLock);
    if (m_socket.load() >= 0) {
        VexoLogException(L"Create() failed");
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ReportSocketError();
        VexoLogException(L"Create() failed");
        return false;
    }
    m_socket = fd;

    const char* hostText = host ? host : "";
    bool connectedNow = false;
    if (host && port > 0 && port < 65536) {
        // getaddrinfo rather than gethostbyname: the two connections may connect from two threads.
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host, nullptr, &hints, &found) == 0 && found) {
            sockaddr_in address{};
            std::memcpy(&address, found->ai_addr, sizeof address);
            ::freeaddrinfo(found);
            address.sin_port = htons(uint16_t(port));
            int rc;
            do {
                rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            } while (rc != 0 && errno == EINTR);
            if (rc == 0)
                connectedNow = true;
            else
                ReportSocketError();
        }
    }
    if (!connectedNow) {
        VexoLogException(L"Connect(%hs, %i) failed", hostText, port);
        CloseLocked();
        return false;
    }

    // Request and reply are small single writes: send them at once, not after Nagle's delay.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    const int flags = ::fcntl(fd, F_GETFL, 0);
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (flags < 0 || ::fcntl(fd, F_SETFL, wanted) != 0) ReportSocketError();
    m_nonBlocking = blocking ? 0 : 1;

    m_port = port;
    m_peerHost = hostText;
    connected = 1;
    return true;
}

bool VexoTCPManager::CloseLocked() {
    const int fd = m_socket.load();
    if (fd < 0) return true;
    // Linux releases the descriptor even when close reports an error: never close it twice.
    m_socket = -1;
    if (::close(fd) != 0) {
        ReportSocketError();
        return false;
    }
    return true;
}

bool VexoTCPManager::Close() {
    std::lock_guard<std::mutex> g(m_socketLock);
    return CloseLocked();
}

bool VexoTCPManager::Disconnect() {
    if (connected == 0) return true;
    if (!Close()) {
        VexoLogException(L"Close() failed");
        return false;
    }
    connected = 0;
    return true;
}

int32_t VexoTCPManager::Send(const void* data, int32_t length) {
    std::lock_guard<std::mutex> g(m_socketLock);
    const int fd = m_socket.load();
    if (fd < 0) return -1;
    if (length <= 0 || !data) return -1;

    const char* bytes = static_cast<const char*>(data);
    int32_t sent = 0;
    while (sent < length) {
        // MSG_NOSIGNAL: a peer that went away must give EPIPE, not end the program with SIGPIPE.
        const ssize_t n = ::send(fd, bytes + sent, size_t(length - sent), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            const uint32_t code = ReportSocketError();
            if (code == kSockBrokenPipe || code == kSockConnAborted || code == kSockConnReset) {
                CloseLocked();
                return 0;
            }
            return sent == 0 ? -1 : sent;
        }
        sent += int32_t(n);
    }
    return sent;
}

bool VexoTCPManager::SendOrDisconnect(const void* data, int32_t length) {
    if (length <= 0) return false;
    if (Send(data, length) == 0) {
        Disconnect();
        return false;
    }
    return true;
}

int32_t VexoTCPManager::Receive(void* buffer, int32_t capacity) {
    if (!buffer || capacity <= 0) return -1;
    std::unique_lock<std::mutex> g(m_socketLock, std::defer_lock);
    // A blocking receive would hold the lock until data came; in that mode closing is left to
    // the receiving thread itself.
    if (m_nonBlocking) g.lock();
    const int fd = m_socket.load();
    if (fd < 0) return -1;
    ssize_t n;
    do {
        n = ::recv(fd, buffer, size_t(capacity), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        ReportSocketError();
        return -1;
    }
    return int32_t(n);
}

void VexoTCPManager::PeerGone() {
    // Disconnect logs a close that fails; connected stays 1 then, as the socket does.
    Disconnect();
}

int32_t VexoTCPManager::ReceiveMessage(void* buffer) {
    const int32_t n = Receive(buffer, kMessageCapacity);
    lastReceiveCount = n;
    if (n == 0) {
        VexoLogException(L"Client Closed for 0 byte was received");
        PeerGone();
    } else if (n == -1 && VexoPlatform::GetLastError() == kSockConnReset) {
        PeerGone();
    }
    return n;
}

std::string VexoTCPManager::ReceiveText() {
    const int32_t n = Receive(m_textBuffer, kTextCapacity);
    lastReceiveCount = n;
    if (n == 0 || (n == -1 && VexoPlatform::GetLastError() == kSockConnReset)) PeerGone();
    if (n <= 0) return std::string();
    m_textBuffer[n] = 0;
    std::string text(m_textBuffer, size_t(n));
    for (char& c : text)
        if (c == '\0') c = ' ';
    return text;
}

bool VexoTCPManager::WaitReadable(int timeoutMs) {
    const int fd = m_socket.load();
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    return r > 0;
}

VexoTCPManager::WaitResult VexoTCPManager::WaitReadableOrWoken(int wakeFd, int timeoutMs) {
    const int fd = m_socket.load();
    if (fd < 0) return WaitResult::NoSocket;
    pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int r = ::poll(p, wakeFd >= 0 ? 2 : 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r < 0) return errno == EINTR ? WaitResult::TimedOut : WaitResult::NoSocket;
    if (r == 0) return WaitResult::TimedOut;
    if (p[0].revents) return WaitResult::Readable;
    return WaitResult::Woken;
}

}  // namespace VexoSource
