#include "platform/LastError.h"

#include <cerrno>
#include <cstring>

namespace VexoPlatform {

namespace {
thread_local uint32_t t_lastError = 0;

// Socket calls record Windows Sockets codes (the service link's logic is written against them);
// their text is that of the errno value they were translated from.
int ErrnoOfSocketCode(uint32_t code) {
    switch (code) {
    case 10035: return EAGAIN;
    case 10053: return ECONNABORTED;
    case 10054: return ECONNRESET;
    case 10057: return ENOTCONN;
    case 10060: return ETIMEDOUT;
    case 10061: return ECONNREFUSED;
    default: return code <= 4095 ? int(code) : -1;
    }
}
}  // namespace

uint32_t GetLastError() { return t_lastError; }

void SetLastError(uint32_t code) { t_lastError = code; }

void SetLastErrorFromErrno() { t_lastError = uint32_t(errno); }

std::string SystemErrorText(uint32_t code) {
    const int error = ErrnoOfSocketCode(code);
    if (error < 0) return std::string();
    char buf[256];
    buf[0] = 0;
    // GNU strerror_r returns the text it chose (which may not be buf).
    const char* text = strerror_r(error, buf, sizeof buf);
    if (!text || std::strncmp(text, "Unknown error", 13) == 0) return std::string();
    std::string s(text);
    const size_t cr = s.find_first_of("\r\n");
    if (cr != std::string::npos) s.resize(cr);
    return s;
}

}  // namespace VexoPlatform
