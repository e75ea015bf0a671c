// Socket error codes as the service link reports them.
//
// The link's logic and log texts are written against the Windows Sockets codes; errno values of
// the POSIX socket calls are translated here so that a reset reads 10054 wherever it comes from.
#pragma once

#include <cstdint>

namespace VexoSource {

constexpr uint32_t kSockBadHandle = 9;         // EBADF
constexpr uint32_t kSockBrokenPipe = 32;       // EPIPE
constexpr uint32_t kSockWouldBlock = 10035;    // WSAEWOULDBLOCK
constexpr uint32_t kSockConnAborted = 10053;   // WSAECONNABORTED
constexpr uint32_t kSockConnReset = 10054;     // WSAECONNRESET
constexpr uint32_t kSockNotConnected = 10057;  // WSAENOTCONN
constexpr uint32_t kSockTimedOut = 10060;      // WSAETIMEDOUT
constexpr uint32_t kSockRefused = 10061;       // WSAECONNREFUSED

// The socket code for an errno value (other values pass through unchanged).
uint32_t SocketCodeFromErrno(int error);

// After a failing socket call with the given errno value: records its socket code as the last
// error, logs it at Exception when it is one of the reported codes, and returns it.
uint32_t ReportSocketError(int error);

}  // namespace VexoSource
