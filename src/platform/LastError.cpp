#include "platform/LastError.h"

#include <cerrno>
#include <cstring>

namespace VexoPlatform {

namespace {
thread_local uint32_t t_lastError = 0;

const char* SocketErrorText(uint32_t code) {
    switch (code) {
    case 10035: return "A non-blocking socket operation could not be completed immediately.";
    case 10053: return "An established connection was aborted by the software in your host machine.";
    case 10054: return "An existing connection was forcibly closed by the remote host.";
    case 10060: return "A connection attempt failed because the connected party did not properly respond after a period of time.";
    case 10061: return "No connection could be made because the target machine actively refused it.";
    default: return nullptr;
    }
}
}  // namespace

uint32_t GetLastError() { return t_lastError; }

void SetLastError(uint32_t code) { t_lastError = code; }

void SetLastErrorFromErrno() { t_lastError = uint32_t(errno); }

std::string SystemErrorText(uint32_t code) {
    if (const char* text = SocketErrorText(code)) return text;
    if (code == 0) return "The operation completed successfully.";
    if (code > 4095) return std::string();
    char buf[256];
    buf[0] = 0;
    // GNU strerror_r returns the text it chose (which may not be buf).
    const char* text = strerror_r(int(code), buf, sizeof buf);
    if (!text || std::strncmp(text, "Unknown error", 13) == 0) return std::string();
    std::string s(text);
    const size_t cr = s.find_first_of("\r\n");
    if (cr != std::string::npos) s.resize(cr);
    return s;
}

}  // namespace VexoPlatform
