// Runs the program's clock faster than real time while it lives: every tick of a toolkit timer
// moves a JumpClock on, so that the windows' pauses, access polls and countdowns pass in a
// fraction of their real time. The timer ticks only while the GUI thread runs an event loop,
// never in the middle of one of its requests, so a jump never cuts such a request's wait short;
// use it only where no other thread waits on a reply.
#pragma once

#include <wx/event.h>
#include <wx/timer.h>

#include <cstdint>

#include "support/ManualClock.h"

namespace guitest {

class FastClock : public wxEvtHandler {
public:
    static constexpr int kTickMs = 20;

    // stepMs of the clock pass per tick, on top of real time.
    explicit FastClock(uint32_t stepMs = 200) : step_(stepMs) {
        timer_.SetOwner(this);
        Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            if (!held_) clock_.Advance(step_);
        });
        timer_.Start(kTickMs);
    }
    ~FastClock() override { timer_.Stop(); }

    clocktest::JumpClock& Clock() { return clock_; }
    // While held the clock runs at real time: for steps whose timing a person sets (taps).
    void Hold(bool held) { held_ = held; }

private:
    clocktest::JumpClock clock_;
    uint32_t step_;
    bool held_ = false;
    wxTimer timer_;
};

}  // namespace guitest
