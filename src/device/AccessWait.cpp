#include "device/AccessWait.h"

#include <algorithm>

#include "platform/MonotonicClock.h"
#include "platform/PlatformTime.h"

namespace VexoSource {

AccessState WaitForAccess(const DeviceHandle& device, const AccessWait& wait) {
    const uint64_t deadline = VexoPlatform::NowMs() + wait.boundMs;
    // A poll interval of 0 would turn the wait into a busy loop of requests.
    const uint32_t poll = std::max<uint32_t>(wait.pollMs, 10);
    bool waiting = false;
    for (;;) {
        const AccessState state = wait.ask ? wait.ask() : QueryAccess(device);
        if (state != AccessState::Busy) return state;
        const uint64_t left = VexoPlatform::RemainingMs(deadline);
        if (left == 0) return AccessState::Busy;
        if (!waiting && wait.onWaiting) wait.onWaiting();
        waiting = true;
        const uint32_t step = uint32_t(std::min<uint64_t>(poll, left));
        if (wait.sleep)
            wait.sleep(step);
        else
            VexoPlatform::SleepMs(step);
    }
}

}  // namespace VexoSource
