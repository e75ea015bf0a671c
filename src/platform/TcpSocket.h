// The system calls of a TCP client socket (IPv4), for the connection class above that adds the
// locking, the error codes the program reports and the log lines.
//
// Each call returns 0 when it worked, else the errno value of the failing call; interrupted calls
// (EINTR) are repeated here, so callers never see EINTR. Nothing is logged here.
#pragma once

#include <cstddef>

namespace VexoPlatform {

// TcpConnect's result when the host name does not resolve (no errno belongs to that).
constexpr int kHostNotFound = -1;

// A new stream socket, closed on exec (a program the window starts must not inherit it).
int TcpSocketOpen(int& fd);
// Connects fd to host:port, blocking until it is connected or refused.
int TcpConnect(int fd, const char* host, int port);
// Sends small writes at once rather than after Nagle's delay (best effort).
void TcpSendAtOnce(int fd);
int SocketSetBlocking(int fd, bool blocking);
// The descriptor is released even when close reports an error: never close it twice.
int SocketClose(int fd);

// Sends the whole buffer unless an error comes first; sent tells how much went. A peer that went
// away gives EPIPE (or ECONNRESET), never SIGPIPE.
int SocketSend(int fd, const void* data, size_t length, size_t& sent);
// One receive of at most capacity bytes; received 0 means the peer closed the connection.
int SocketReceive(int fd, void* buffer, size_t capacity, size_t& received);

enum class SocketWait { Readable, Woken, TimedOut, Failed };
// Waits until fd has data (or a close) or wakeFd (when not negative) becomes readable; timeoutMs
// below 0 waits without a time-out. Readable wins when both are. A signal ends the wait as a
// time-out.
SocketWait WaitReadableOrWoken(int fd, int wakeFd, int timeoutMs);

}  // namespace VexoPlatform
