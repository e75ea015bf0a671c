#include "foundation/VexoTCPManager.h"

#include "foundation/SocketErrors.h"
#include "foundation/VexoLog.h"
#include "platform/LastError.h"
#include "platform/TcpSocket.h"

namespace VexoSource {

VexoTCPManager::VexoTCPManager() = default;

VexoTCPManager::~VexoTCPManager() {
    Disconnect();
    if (IsOpen()) Close();
}

bool VexoTCPManager::Connect(const char* host, int32_t port, bool blocking, bool reportUnreachable) {
    std::lock_guard<std::mutex> g(m_socketLock);
    if (m_socket.load() >= 0) {
        VexoLogException(L"Create() failed");
        return false;
    }
    int fd = -1;
    if (const int error = VexoPlatform::TcpSocketOpen(fd)) {
        ReportSocketError(error);
        VexoLogException(L"Create() failed");
        return false;
    }
    m_socket = fd;

    const char* hostText = host ? host : "";
    bool connectedNow = false;
    if (host && port > 0 && port < 65536) {
        const int error = VexoPlatform::TcpConnect(fd, host, port);
        if (error == 0)
            connectedNow = true;
        else if (error != VexoPlatform::kHostNotFound && reportUnreachable)
            ReportSocketError(error);
        else if (error != VexoPlatform::kHostNotFound)
            VexoPlatform::SetLastError(SocketCodeFromErrno(error));
    }
    if (!connectedNow) {
        if (reportUnreachable) VexoLogException(L"Connect(%hs, %i) failed", hostText, port);
        CloseLocked();
        return false;
    }

    // Request and reply are small single writes: send them at once, not after Nagle's delay.
    VexoPlatform::TcpSendAtOnce(fd);

    if (const int error = VexoPlatform::SocketSetBlocking(fd, blocking)) ReportSocketError(error);
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
    if (const int error = VexoPlatform::SocketClose(fd)) {
        ReportSocketError(error);
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

    size_t sent = 0;
    if (const int error = VexoPlatform::SocketSend(fd, data, size_t(length), sent)) {
        const uint32_t code = ReportSocketError(error);
        if (code == kSockBrokenPipe || code == kSockConnAborted || code == kSockConnReset) {
            CloseLocked();
            return 0;
        }
        return sent == 0 ? -1 : int32_t(sent);
    }
    return int32_t(sent);
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
    size_t received = 0;
    if (const int error = VexoPlatform::SocketReceive(fd, buffer, size_t(capacity), received)) {
        ReportSocketError(error);
        return -1;
    }
    return int32_t(received);
}

void VexoTCPManager::PeerGone() {
    // Disconnect logs a close that fails; connected stays 1 then, as the socket does.
    Disconnect();
}

int32_t VexoTCPManager::ReceiveMessage(void* buffer) {
    const int32_t n = Receive(buffer, kMessageCapacity);
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
    if (n == 0 || (n == -1 && VexoPlatform::GetLastError() == kSockConnReset)) PeerGone();
    if (n <= 0) return std::string();
    m_textBuffer[n] = 0;
    std::string text(m_textBuffer, size_t(n));
    for (char& c : text)
        if (c == '\0') c = ' ';
    return text;
}

VexoTCPManager::WaitResult VexoTCPManager::WaitReadableOrWoken(int wakeFd, int timeoutMs) {
    const int fd = m_socket.load();
    if (fd < 0) return WaitResult::NoSocket;
    switch (VexoPlatform::WaitReadableOrWoken(fd, wakeFd, timeoutMs)) {
        case VexoPlatform::SocketWait::Readable: return WaitResult::Readable;
        case VexoPlatform::SocketWait::Woken: return WaitResult::Woken;
        case VexoPlatform::SocketWait::TimedOut: return WaitResult::TimedOut;
        default: return WaitResult::NoSocket;
    }
}

}  // namespace VexoSource
