// Waiting for a device that is being reset. After every ResetDevice a frame is busy for a moment
// (GetAccessState answers 0), so a script's next command would fail unless something waits; the
// command-line program asks again a few times a second until the device is ready or its bound
// runs out. The calibration waits here too, after each reset of the frame; the main window's
// watch does not: it has its own passes and a person in front of it.
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
    // Non-zero: ask at most this often instead of until boundMs (a caller whose sleep keeps a
    // window's event loop running, and may end early, counts questions rather than time).
    uint32_t maxAsks = 0;
    std::function<void()> onWaiting;    // called once, when the first busy answer starts a wait
    // Asked after each sleep; true ends the wait at once with Busy (the caller is leaving).
    std::function<bool()> stop;
    // Seams for tests; empty: QueryAccess and VexoPlatform::SleepMs (both on the installed clock).
    std::function<AccessState()> ask;
    std::function<void(uint32_t)> sleep;
};

// Asks GetAccessState until it answers Ready, the service stops answering (NoAnswer) or boundMs of
// the installed monotonic clock have passed since the first question (Busy). The last question is
// asked at the bound, so a device that becomes ready just in time is taken. With maxAsks the
// bound is that many questions, a poll apart; stop ends it early.
AccessState WaitForAccess(const DeviceHandle& device, const AccessWait& wait);

}  // namespace VexoSource
