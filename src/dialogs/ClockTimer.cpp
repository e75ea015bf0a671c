#include "dialogs/ClockTimer.h"

#include "platform/MonotonicClock.h"

void ClockTimer::StartUntil(uint64_t deadlineMs) {
    m_deadline = deadlineMs;
    Stop();
    // The toolkit's timers take at least a millisecond; a due deadline fires at the next one.
    const uint32_t wait = VexoPlatform::RealWaitMs(m_deadline);
    StartOnce(wait > 0 ? int(wait) : 1);
}

void ClockTimer::StartFor(uint32_t ms) { StartUntil(VexoPlatform::NowMs() + ms); }

void ClockTimer::Notify() {
    const uint32_t wait = VexoPlatform::RealWaitMs(m_deadline);
    if (wait > 0) {
        StartOnce(int(wait));
        return;
    }
    m_onDue();
}
