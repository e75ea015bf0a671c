#include "platform/PlatformTime.h"

#include <cerrno>
#include <ctime>

namespace VexoPlatform {

uint32_t GetTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

void SleepMs(uint32_t milliseconds) {
    timespec req{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&req, &req) == -1 && errno == EINTR) {
    }
}

}  // namespace VexoPlatform
