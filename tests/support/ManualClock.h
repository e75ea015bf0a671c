// Monotonic clocks that tests move by hand: installed for a scope, they drive every timeout and
// interval of the program (request bounds, sleeps, the device watch, the windows' pauses and
// countdowns) instead of real time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

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

    uint64_t NowMs() const override {
        ++reads_;
        return now_.load();
    }
    // Waiters look again this often in real time, so that an Advance is seen within it.
    uint32_t RecheckMs() const override { return 2; }

    void Advance(uint64_t ms) { now_ += ms; }

    // How often the clock has been read: a test that must move the clock only after a waiter has
    // taken its start reading waits for the count to pass what it was before the waiter began.
    uint64_t Reads() const { return reads_.load(); }
    bool WaitForReadsAbove(uint64_t count, int realMs = 10000) const {
        for (int waited = 0; reads_.load() <= count; waited += 1) {
            if (waited > realMs) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    std::atomic<uint64_t> now_;
    mutable std::atomic<uint64_t> reads_{0};
    VexoPlatform::MonotonicClock* previous_ = nullptr;
};

// Runs f on a thread of its own while `clock` stands still and gives its result, or nothing when f
// had not returned within realMs of real time: something that must not wait for any bound of the
// program returns whatever the machine's load, and something that does wait can never slip
// through. The clock then moves on by a minute, so that f ends and its thread is joined.
template <class F>
std::optional<std::invoke_result_t<F>> ReturnsWhileStill(ManualClock& clock, F f, int realMs = 5000) {
    auto done = std::async(std::launch::async, std::move(f));
    if (done.wait_for(std::chrono::milliseconds(realMs)) != std::future_status::ready) {
        clock.Advance(60'000);
        done.wait();
        return std::nullopt;
    }
    return done.get();
}

// The same for f run on the calling thread (one that must not change, as the GUI thread): true
// when f returned while `clock` stood still. Past realMs of real time a watchdog moves the clock on
// by a minute, so that a hang ends and is reported as false.
template <class F>
bool ReturnsHereWhileStill(ManualClock& clock, F f, int realMs = 5000) {
    std::mutex lock;
    std::condition_variable changed;
    bool returned = false, jumped = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> g(lock);
        if (!changed.wait_for(g, std::chrono::milliseconds(realMs), [&] { return returned; })) {
            jumped = true;
            clock.Advance(60'000);
        }
    });
    f();
    {
        std::lock_guard<std::mutex> g(lock);
        returned = true;
    }
    changed.notify_all();
    watchdog.join();
    return !jumped;
}

// Only ends a hang: "at once" is decided on the program's clock, not in real time.
constexpr int kAtOnceHangGuardMs = 20000;

// "At once": f (run on the calling thread) returns while the program's clock stands still, so it
// waited for no bound of the program (a reply, a stop wait, a pause), however slow the machine or
// the build (sanitizers). Nothing else may wait on the clock meanwhile for something it needs.
template <class F>
bool ReturnsAtOnce(F f) {
    ManualClock still;
    return ReturnsHereWhileStill(still, f, kAtOnceHangGuardMs);
}

// Runs with real time and jumps ahead by hand: the program goes on as usual (its short pauses pass
// by themselves) while a test skips a long wait. Jump only when nothing waits on a reply that a
// jump could time out (the waits of the GUI thread's own event loops, a watch between passes).
class JumpClock : public VexoPlatform::MonotonicClock {
public:
    JumpClock() : start_(std::chrono::steady_clock::now()) { previous_ = VexoPlatform::SetClock(this); }
    ~JumpClock() override { VexoPlatform::SetClock(previous_); }
    JumpClock(const JumpClock&) = delete;
    JumpClock& operator=(const JumpClock&) = delete;

    uint64_t NowMs() const override {
        const auto real = std::chrono::steady_clock::now() - start_;
        return kStartMs + uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(real).count()) +
               jumped_.load();
    }
    // A jump is seen by every waiter within this much real time.
    uint32_t RecheckMs() const override { return 5; }

    void Advance(uint64_t ms) { jumped_ += ms; }
    uint64_t Jumped() const { return jumped_.load(); }

private:
    static constexpr uint64_t kStartMs = 10'000'000;
    const std::chrono::steady_clock::time_point start_;
    std::atomic<uint64_t> jumped_{0};
    VexoPlatform::MonotonicClock* previous_ = nullptr;
};

}  // namespace clocktest
