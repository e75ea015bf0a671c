// The clock of every timeout and interval of the program: monotonic milliseconds that a change of
// the wall-clock time (NTP, a user setting the date) neither stops nor moves. The log's time stamp
// is the only reader of the wall clock.
//
// A seam: tests install a clock of their own and move it by hand. Waits therefore compute their
// deadline on this clock and block in real time for at most RecheckMs() before they read it again.
#pragma once

#include <cstdint>

namespace VexoPlatform {

class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    // Milliseconds since an arbitrary start; never decreases.
    virtual uint64_t NowMs() const = 0;
    // Longest real time a waiter may block before it reads NowMs again. The system's clock runs on
    // by itself (a wait ends when its real time is up); a clock moved by hand must be re-read.
    virtual uint32_t RecheckMs() const = 0;
};

// CLOCK_MONOTONIC.
class SystemMonotonicClock : public MonotonicClock {
public:
    uint64_t NowMs() const override;
    uint32_t RecheckMs() const override { return kNoRecheck; }
    static constexpr uint32_t kNoRecheck = 0xFFFFFFFFu;
};

// The installed clock: the system's unless another was set. A reference kept beyond the call is
// not covered by SetClock's wait: read the time through NowMs.
MonotonicClock& Clock();
// Installs a clock (nullptr: the system's again) for every thread; returns the previous one once
// no thread reads a clock any more, so that a clock that uninstalls itself in its destructor is
// never read while it goes (a worker thread may read the clock at any moment).
MonotonicClock* SetClock(MonotonicClock* clock);

// The installed clock's time; every reader of the program goes through this and RealWaitMs.
uint64_t NowMs();

// Milliseconds left until `deadline` on the installed clock (0 once it has passed), and how long a
// waiter may block in real time towards it.
uint64_t RemainingMs(uint64_t deadline);
uint32_t RealWaitMs(uint64_t deadline);

}  // namespace VexoPlatform
