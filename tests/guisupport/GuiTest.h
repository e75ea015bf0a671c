// Helpers for GUI tests (linked into gui_tests; the test main is GuiTestMain.cpp).
//
// The main runs every test on the GUI thread with a toolkit event loop active, an assert handler
// that turns toolkit asserts into test failures, toolkit log output on standard error (never a log
// window) and a watchdog that ends a stuck test process after kProcessWatchdogSeconds.
//
//   Pump(ms)                     process events for ms milliseconds
//   WaitUntil(pred, ms)          pump until pred() holds; false on time-out
//   Click(button)                queue a real wxEVT_BUTTON from the button (as a user's click)
//   SelectRadio(radio)           check the radio button and queue its wxEVT_RADIOBUTTON
//   SelectComboItem(combo, n)    select item n and queue its wxEVT_COMBOBOX
//   ModalWindow<T>()             the window of type T whose modal loop runs now
//   ChildLabelled<T>(w, label)   the child control carrying a label; ChildAt(w, point) by place
//   RunLater(ms, fn)             run fn on the GUI thread after ms (e.g. while a modal loop runs)
//   EndModalLater(dialog, ms)    end a modal dialog from a timer; the watchdog backs it up
//   MessageBoxes                 answers message boxes without showing them, records each one
//   SimService                   in-process simulated service on the fixed ports (each GUI test
//                                has its own network namespace) with the service channel open
//   LogCapture                   (support/LogCapture.h) collects the diagnostic log lines
//   ToUtf8 / FromUtf8            wxString <-> UTF-8 std::string for expectations
#pragma once

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/radiobut.h>
#include <wx/string.h>
#include <wx/toplevel.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "touchsim/Simulator.h"

namespace guitest {

// Held by a test that reads the screen's pixels, needs the keyboard focus or covers the whole
// screen: the GUI tests run in parallel processes on one X display, and two of these at once
// would paint over each other or take the focus from each other. An flock on a file named after
// the display, so that it goes with the process however it ends.
class ScreenLock {
public:
    ScreenLock();
    ~ScreenLock();
    ScreenLock(const ScreenLock&) = delete;
    ScreenLock& operator=(const ScreenLock&) = delete;

private:
    int fd_ = -1;
};

// Named time-outs (milliseconds) used by the GUI tests.
constexpr int kShortMs = 300;       // settle after Show or a queued event
constexpr int kEventMs = 3000;      // a queued event or a reply of the service
constexpr int kPassMs = 4000;       // one pass of the main window's device watch and its refresh
constexpr int kProcessWatchdogSeconds = 150;

void Pump(int ms);
bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs);

void Click(wxButton* button);
void SelectRadio(wxRadioButton* radio);
void SelectComboItem(wxComboBox* combo, int index);

void RunLater(int ms, std::function<void()> fn);
void EndModalLater(wxDialog* dialog, int ms, int code = wxID_CANCEL);

// The top-level window of type T that runs a modal loop now, or nullptr.
template <class T>
T* ModalWindow() {
    for (wxWindow* w : wxTopLevelWindows) {
        auto* window = dynamic_cast<T*>(w);
        if (window && window->IsModal()) return window;
    }
    return nullptr;
}

// The child of `parent` of type T that carries `label`, or nullptr: a control found as a user
// finds it, whatever its place among the children.
template <class T>
T* ChildLabelled(wxWindow* parent, const wxString& label) {
    for (wxWindow* child : parent->GetChildren())
        if (auto* control = dynamic_cast<T*>(child))
            if (control->GetLabel() == label) return control;
    return nullptr;
}
// The child of `parent` placed at `position` (client coordinates), or nullptr.
wxWindow* ChildAt(wxWindow* parent, const wxPoint& position);

// True when a window manager runs on the display (it then decorates and places the windows).
bool WindowManagerRunning();

std::string ToUtf8(const wxString& text);
wxString FromUtf8(const std::string& text);

// One message box as the program asked for it.
struct ShownBox {
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
    long style = 0;
};

// Installs the message box handler for its lifetime. Each box is recorded and answered with the
// next queued answer, or by default wxOK for an OK box and wxNO for a Yes/No question.
class MessageBoxes {
public:
    MessageBoxes();
    ~MessageBoxes();
    void Answer(int answer) { answers_.push_back(answer); }
    const std::vector<ShownBox>& Shown() const { return shown_; }
    std::vector<std::string> Texts() const;
    void Clear() { shown_.clear(); }
    // Runs fn (GUI thread) when a box is shown, before it is answered.
    void OnShow(std::function<void(const ShownBox&)> fn) { onShow_ = std::move(fn); }

private:
    std::deque<int> answers_;
    std::vector<ShownBox> shown_;
    std::function<void(const ShownBox&)> onShow_;
};

// The simulated service on 127.0.0.1:28875 (touch stream on 3000) and the program's service
// channel connected to it. Stops both at the end.
class SimService {
public:
    explicit SimService(bool openChannel = true, touchsim::DeviceModel model = {});
    ~SimService();
    touchsim::Simulator& sim() { return sim_; }
    bool started() const { return started_; }
    // Names of the calls traced so far ("GetAccessState", ...).
    std::vector<std::string> CallNames() const;
    // Calls of one name.
    std::vector<touchsim::TraceEntry> Calls(const std::string& name) const;

private:
    touchsim::Simulator sim_;
    bool started_ = false;
};

}  // namespace guitest
