#include "platform/MonotonicClock.h"

#include <ctime>

#include <algorithm>
#include <atomic>
#include <thread>

namespace VexoPlatform {

namespace {
SystemMonotonicClock g_systemClock;
std::atomic<MonotonicClock*> g_clock{nullptr};
// Threads inside a read of the installed clock; SetClock waits for it to drop to 0.
std::atomic<int> g_readers{0};

class ReadGuard {
public:
    ReadGuard() { g_readers.fetch_add(1, std::memory_order_acq_rel); }
    ~ReadGuard() { g_readers.fetch_sub(1, std::memory_order_acq_rel); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;
};
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
    // A read is a few instructions: readers that took the previous clock leave within moments.
    while (g_readers.load(std::memory_order_acquire) != 0) std::this_thread::yield();
    return previous ? previous : &g_systemClock;
}

uint64_t NowMs() {
    const ReadGuard guard;
    return Clock().NowMs();
}

uint64_t RemainingMs(uint64_t deadline) {
    const uint64_t now = NowMs();
    return deadline > now ? deadline - now : 0;
}

uint32_t RealWaitMs(uint64_t deadline) {
    const uint64_t remaining = RemainingMs(deadline);
    const ReadGuard guard;
    return uint32_t(std::min<uint64_t>(remaining, Clock().RecheckMs()));
}

}  // namespace VexoPlatform
