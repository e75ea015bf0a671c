// Waiting for a device that is being reset. After every ResetDevice a frame is busy for a moment
// (GetAccessState answers 0), so a script's next command would fail unless something waits; the
// command-line program asks again a few times a second until the device is ready or its bound
// runs out. The window never waits here: it has its own watch and a person in front of it.
#pragma once

#include <cstdint>
#include <functional>

#include "device/DeviceRequests.h"

namespace VexoSource {

// How often a busy device is asked again: a few times a second is quick enough for a script and
// costs the service next to nothing.
constexpr uint32_t kAccessPollMs = 200;

struct AccessWait {
    uint32_t boundMs = 0;               // 0: ask once and take the answer as it is
    uint32_t pollMs = kAccessPollMs;
    std::function<void()> onWaiting;    // called once, when the first busy answer starts a wait
    // Seams for tests; empty: QueryAccess and VexoPlatform::SleepMs (both on the installed clock).
    std::function<AccessState()> ask;
    std::function<void(uint32_t)> sleep;
};

// Asks GetAccessState until it answers Ready, the service stops answering (NoAnswer) or boundMs of
// the installed monotonic clock have passed since the first question (Busy). The last question is
// asked at the bound, so a device that becomes ready just in time is taken.
AccessState WaitForAccess(const DeviceHandle& device, const AccessWait& wait);

}  // namespace VexoSource
