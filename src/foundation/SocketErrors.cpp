#include "foundation/SocketErrors.h"

#include <cerrno>

#include "foundation/VexoLog.h"
#include "platform/LastError.h"

namespace VexoSource {

uint32_t SocketCodeFromErrno(int error) {
    switch (error) {
    case ECONNRESET: return kSockConnReset;
    case ECONNABORTED: return kSockConnAborted;
    case EPIPE: return kSockBrokenPipe;
    case EBADF: return kSockBadHandle;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN: return kSockWouldBlock;
    case ENOTCONN: return kSockNotConnected;
    case ETIMEDOUT: return kSockTimedOut;
    case ECONNREFUSED: return kSockRefused;
    default: return uint32_t(error);
    }
}

uint32_t ReportSocketError(int error) {
    const uint32_t code = SocketCodeFromErrno(error);
    VexoPlatform::SetLastError(code);
    switch (code) {
    case kSockBadHandle: VexoLogException(L" EBADF: invalid socket"); break;
    // An aborted connection is reported with the bad-socket text: that is the line the log's
    // readers know for it (the code in the line's last-error part tells the two apart).
    case kSockConnAborted: VexoLogException(L" EBADF: invalid socket"); break;
    case kSockConnReset: VexoLogException(L" ECONNRESET: connection closed by remote host"); break;
    default: break;  // would-block and the rest are expected outcomes, not reported
    }
    return code;
}

}  // namespace VexoSource
