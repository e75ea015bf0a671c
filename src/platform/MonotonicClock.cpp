#include "platform/MonotonicClock.h"

#include <ctime>

#include <algorithm>
#include <atomic>

namespace VexoPlatform {

namespace {
SystemMonotonicClock g_systemClock;
std::atomic<MonotonicClock*> g_clock{nullptr};
}  // namespace

uint64_t SystemMonotonicClock::NowMs() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

MonotonicClock& Clock() {
    MonotonicClock* clock = g_clock.load(std::memory_order_acquire);
    return clock ? *clock : g_systemClock;
}

MonotonicClock* SetClock(MonotonicClock* clock) {
    MonotonicClock* previous = g_clock.exchange(clock, std::memory_order_acq_rel);
    return previous ? previous : &g_systemClock;
}

uint64_t RemainingMs(uint64_t deadline) {
    const uint64_t now = NowMs();
    return deadline > now ? deadline - now : 0;
}

uint32_t RealWaitMs(uint64_t deadline) {
    const uint64_t remaining = RemainingMs(deadline);
    return uint32_t(std::min<uint64_t>(remaining, Clock().RecheckMs()));
}

}  // namespace VexoPlatform
