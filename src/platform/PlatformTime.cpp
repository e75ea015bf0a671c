#include "platform/PlatformTime.h"

#include <cerrno>
#include <ctime>

#include "platform/MonotonicClock.h"

namespace VexoPlatform {

uint32_t GetTickCount() { return uint32_t(NowMs()); }

void SleepMs(uint32_t milliseconds) {
    const uint64_t deadline = NowMs() + milliseconds;
    for (uint32_t step; (step = RealWaitMs(deadline)) > 0;) {
        timespec req{time_t(step / 1000), long(step % 1000) * 1000000L};
        while (nanosleep(&req, &req) == -1 && errno == EINTR) {
        }
    }
}

}  // namespace VexoPlatform
