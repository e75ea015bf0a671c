// The monotonic clock moved by hand: installed for a scope, it drives every timeout and interval
// of the program (request bounds, sleeps, the device watch) instead of real time.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/MonotonicClock.h"

namespace clocktest {

class ManualClock : public VexoPlatform::MonotonicClock {
public:
    // Starts far from 0, so that nothing mistakes the start for a clock that was never read.
    explicit ManualClock(uint64_t startMs = 10'000'000) : now_(startMs) {
        previous_ = VexoPlatform::SetClock(this);
    }
    ~ManualClock() override { VexoPlatform::SetClock(previous_); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    uint64_t NowMs() const override { return now_.load(); }
    // Waiters look again this often in real time, so that an Advance is seen within it.
    uint32_t RecheckMs() const override { return 2; }

    void Advance(uint64_t ms) { now_ += ms; }

private:
    std::atomic<uint64_t> now_;
    VexoPlatform::MonotonicClock* previous_ = nullptr;
};

}  // namespace clocktest
