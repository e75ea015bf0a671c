// A one-shot toolkit timer for a deadline on the monotonic clock (platform/MonotonicClock.h), so
// that the windows' own pauses and countdowns run on the same clock as every other wait of the
// program, and a test that moves the clock moves them too.
//
// GUI thread only. With the system's clock it is one real wait; with a clock that must be re-read
// it looks again each time the clock's recheck time has passed.
#pragma once

#include <wx/timer.h>

#include <cstdint>
#include <functional>

class ClockTimer : public wxTimer {
public:
    explicit ClockTimer(std::function<void()> onDue) : m_onDue(std::move(onDue)) {}

    // Calls onDue once the clock has reached deadlineMs (replacing a pending deadline).
    void StartUntil(uint64_t deadlineMs);
    // Calls onDue once `ms` milliseconds have passed on the clock.
    void StartFor(uint32_t ms);

    void Notify() override;

private:
    std::function<void()> m_onDue;
    uint64_t m_deadline = 0;
};
