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
    for (uint32_t asked = 1;; ++asked) {
        const AccessState state = wait.ask ? wait.ask() : QueryAccess(device);
        if (state != AccessState::Busy) return state;
        uint32_t step = poll;
        if (wait.maxAsks > 0) {
            if (asked >= wait.maxAsks) return AccessState::Busy;
        } else {
            const uint64_t left = VexoPlatform::RemainingMs(deadline);
            if (left == 0) return AccessState::Busy;
            step = uint32_t(std::min<uint64_t>(poll, left));
        }
        if (!waiting && wait.onWaiting) wait.onWaiting();
        waiting = true;
        if (wait.sleep)
            wait.sleep(step);
        else
            VexoPlatform::SleepMs(step);
        if (wait.stop && wait.stop()) return AccessState::Busy;
    }
}

}  // namespace VexoSource
