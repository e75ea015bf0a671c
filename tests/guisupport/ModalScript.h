// Drives modal windows in GUI tests the way a user does: each step runs on the GUI thread from a
// timer while a modal loop is running, with real control events. A watchdog ends every modal
// dialog if the script has not finished in time, so a broken window fails instead of hanging.
#pragma once

#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/slider.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "guisupport/GuiTest.h"
#include "support/Elapsed.h"

namespace guitest {

constexpr int kScriptTickMs = 30;
constexpr uint32_t kScriptWatchdogMs = 20000;

// A step returns true when it is done; false makes it run again at the next tick (a wait).
using Step = std::function<bool()>;

class ModalScript : public wxEvtHandler {
public:
    // watchdogMs: everything the script does fits well inside it; past it every modal dialog is
    // ended so that a broken window fails the test instead of hanging the run.
    explicit ModalScript(std::vector<Step> steps, uint32_t watchdogMs = kScriptWatchdogMs)
        : steps_(std::move(steps)), watchdogMs_(watchdogMs) {
        timer_.SetOwner(this);
        Bind(wxEVT_TIMER, &ModalScript::OnTick, this);
        started_ = testsupport::Clock::now();
        timer_.Start(kScriptTickMs);
    }
    ~ModalScript() override { timer_.Stop(); }

    // Runs at every tick before the steps; while it returns true the steps wait (it is handling
    // something the user meets on the way, such as a confirmation box).
    void SetInterruption(std::function<bool()> interruption) { interruption_ = std::move(interruption); }

    bool Finished() const { return next_ >= steps_.size(); }
    bool WatchdogFired() const { return watchdog_; }

private:
    void OnTick(wxTimerEvent&) {
        if (running_) return;  // a step that opened a nested modal loop
        if (testsupport::MsSince(started_) > static_cast<long long>(watchdogMs_)) {
            if (!watchdog_) {
                watchdog_ = true;
                EndEveryModalDialog();
            }
            return;
        }
        running_ = true;
        if (!(interruption_ && interruption_()) && !Finished() && steps_[next_]()) ++next_;
        running_ = false;
    }

    static void EndEveryModalDialog() {
        for (wxWindow* w : wxTopLevelWindows) {
            auto* dialog = dynamic_cast<wxDialog*>(w);
            if (dialog && dialog->IsModal()) dialog->EndModal(wxID_CANCEL);
        }
    }

    std::vector<Step> steps_;
    size_t next_ = 0;
    uint32_t watchdogMs_;
    std::function<bool()> interruption_;
    bool running_ = false;
    bool watchdog_ = false;
    testsupport::Clock::time_point started_;  // real time: the watchdog guards the test run
    wxTimer timer_;
};

// Queued like a user's action (as Click of GuiTest.h): handled after the current step.
inline void MoveSlider(wxSlider* slider, int value) {
    slider->SetValue(value);  // SetValue alone sends no event
    wxCommandEvent e(wxEVT_SLIDER, slider->GetId());
    e.SetEventObject(slider);
    e.SetInt(value);
    slider->GetEventHandler()->AddPendingEvent(e);
}

inline void SetCheck(wxCheckBox* box, bool checked) {
    box->SetValue(checked);
    wxCommandEvent e(wxEVT_CHECKBOX, box->GetId());
    e.SetEventObject(box);
    e.SetInt(checked ? 1 : 0);
    box->GetEventHandler()->AddPendingEvent(e);
}

// Steps that act once.
inline Step Do(std::function<void()> action) {
    return [action]() {
        action();
        return true;
    };
}
// A step that waits ms of real time from the moment it is first reached, without blocking.
inline Step PauseMs(int ms) {
    auto since = std::make_shared<std::chrono::steady_clock::time_point>();
    auto started = std::make_shared<bool>(false);
    return [=]() {
        const auto now = std::chrono::steady_clock::now();
        if (!*started) {
            *started = true;
            *since = now;
        }
        return now - *since >= std::chrono::milliseconds(ms);
    };
}
// A step that waits for a number of ticks, so that queued events are handled in between.
inline Step Pause(int ticks) {
    auto left = std::make_shared<int>(ticks);
    return [left]() { return --*left <= 0; };
}

}  // namespace guitest
