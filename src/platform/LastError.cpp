#include "platform/LastError.h"

#include <cerrno>
#include <cstring>

#include "foundation/VexoFormat.h"

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

std::u16string SystemErrorText(uint32_t code) {
    if (const char* text = SocketErrorText(code)) return VexoSource::Utf8ToUtf16Lenient(text);
    if (code == 0) return VexoSource::Utf8ToUtf16Lenient("The operation completed successfully.");
    if (code > 4095) return std::u16string();
    char buf[256];
    buf[0] = 0;
    // GNU strerror_r returns the text it chose (which may not be buf).
    const char* text = strerror_r(int(code), buf, sizeof buf);
    if (!text || std::strncmp(text, "Unknown error", 13) == 0) return std::u16string();
    std::string s(text);
    const size_t cr = s.find_first_of("\r\n");
    if (cr != std::string::npos) s.resize(cr);
    return VexoSource::Utf8ToUtf16Lenient(s);
}

}  // namespace VexoPlatform
