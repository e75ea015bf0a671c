// One TCP client connection to a local service (the RPC channel and the touch stream reader). The
// system calls are platform/TcpSocket.h's; this class adds the locking, the codes and the log lines.
//
// The connect itself blocks; afterwards the socket works in the mode Connect was asked for (both
// of the program's connections ask for non-blocking). Every socket failure is a return value plus
// a log line; nothing throws. Socket errors are reported with the Windows Sockets codes that
// callers and log texts expect (10054 reset, 10053 aborted, 32 broken pipe, 9 bad socket, 10035
// would block), see SocketErrors.h.
//
// Threads: one thread may receive (or wait with WaitReadableOrWoken) while another sends. Closing the
// socket is serialised with sending and non-blocking receiving, so a socket closed by the
// receiving thread can never be written through after its descriptor number has been reused.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace VexoSource {

class VexoTCPManager {
public:
    static constexpr int32_t kMessageCapacity = 2048;
    static constexpr int32_t kTextCapacity = 512;

    VexoTCPManager();
    virtual ~VexoTCPManager();
    VexoTCPManager(const VexoTCPManager&) = delete;
    VexoTCPManager& operator=(const VexoTCPManager&) = delete;

    // Creates and connects the socket, then sets the blocking mode. Logs "Create() failed" when a
    // socket is already open (which is left alone) or cannot be created, "Connect(%hs, %i) failed"
    // when the peer cannot be reached. With reportUnreachable false a peer that cannot be reached
    // is only recorded as the last error: for a caller that tries again and again and says the
    // outcome itself.
    bool Connect(const char* host, int32_t port, bool blocking, bool reportUnreachable = true);
    // True when the socket is closed or was not open.
    bool Close();
    // True when not connected or closed; clears connected.
    bool Disconnect();
    // Bytes sent; 0 when the connection is broken (the socket is then closed); -1 when nothing
    // could be sent (no socket, length 0 or less, would block, other errors).
    int32_t Send(const void* data, int32_t length);
    // False for length 0 or less, or when Send returned 0 (then the connection is disconnected).
    bool SendOrDisconnect(const void* data, int32_t length);
    // Bytes received; 0 when the peer closed; -1 on failure or when nothing is waiting.
    int32_t Receive(void* buffer, int32_t capacity);
    // One receive of up to 2048 bytes into buffer. A peer that closed or reset the connection
    // disconnects it, as in ReceiveText; the close is also logged here ("Client Closed for 0 byte
    // was received"), the touch stream's reader logs its own line.
    int32_t ReceiveMessage(void* buffer);
    // The bytes of one receive of up to 512 bytes, each NUL byte turned into a blank (a stream
    // producer ends each packet with a NUL, and several packets may arrive in one receive);
    // empty when nothing was received. A peer close or reset disconnects, as in ReceiveMessage.
    std::string ReceiveText();
    enum class WaitResult { Readable, Woken, TimedOut, NoSocket };
    // Waits for data (or a close) on the socket or for wakeFd to become readable, whichever comes
    // first; timeoutMs < 0 waits without a time-out. Readable wins when both are.
    WaitResult WaitReadableOrWoken(int wakeFd, int timeoutMs);

    bool IsOpen() const { return m_socket.load() >= 0; }
    int32_t Port() const { return m_port; }
    const std::string& PeerHost() const { return m_peerHost; }

    // Written by the owner (connect) and the receiving thread (peer went away); read by any.
    std::atomic<int32_t> connected{0};

private:
    bool CloseLocked();
    // After a receive of 0 bytes (the peer closed) or a reset: the connection is gone.
    void PeerGone();

    std::mutex m_socketLock;  // held by send, non-blocking receive and close
    std::atomic<int> m_socket{-1};
    uint8_t m_nonBlocking = 0;
    char m_textBuffer[kTextCapacity + 1] = {};
    std::string m_peerHost = "000.000.000.000";
    int32_t m_port = 0;
};

}  // namespace VexoSource
