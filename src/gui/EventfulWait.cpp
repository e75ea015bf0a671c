#include "gui/EventfulWait.h"

#include <wx/app.h>
#include <wx/toplevel.h>
#include <wx/window.h>
#include <wx/evtloop.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/MonotonicClock.h"
#include "servicelink/VexoSyncobj.h"

namespace {

// One turn of the event loop: events are handled as they come, and the condition is looked at
// again at least this often.
constexpr unsigned long kTurnMs = 20;
// Most replies come within this: waited for without making every window insensitive for a
// moment (which would flicker) and well inside the time a window manager gives a ping.
constexpr uint32_t kQuietReplyMs = 96;

int g_depth = 0;

// Every control of every shown window insensitive for a scope, the windows themselves left alone:
// an insensitive top-level window loses the keyboard focus, and without a window manager nobody
// gives it back. The control that had the focus gets it again.
class ControlsInsensitive {
public:
    ControlsInsensitive() : m_focus(wxWindow::FindFocus()) {
        for (wxWindow* top : wxTopLevelWindows) {
            if (!top->IsShown()) continue;
            for (wxWindow* child : top->GetChildren()) {
                if (child->IsTopLevel() || !child->IsEnabled()) continue;
                child->Disable();
                m_disabled.emplace_back(child);
            }
        }
    }
    ~ControlsInsensitive() {
        for (wxWeakRef<wxWindow>& w : m_disabled)
            if (w) w->Enable();
        if (m_focus) m_focus->SetFocus();
    }
    ControlsInsensitive(const ControlsInsensitive&) = delete;
    ControlsInsensitive& operator=(const ControlsInsensitive&) = delete;

private:
    wxWeakRef<wxWindow> m_focus;
    std::vector<wxWeakRef<wxWindow>> m_disabled;
};

}  // namespace

bool WaitWithEventsRunning(const std::function<bool()>& done, uint64_t deadlineMs,
                           const std::function<bool()>& giveUp) {
    ++g_depth;
    bool result = false;
    {
        ControlsInsensitive insensitive;
        wxBusyCursor busy;
        for (;;) {
            if (done()) {
                result = true;
                break;
            }
            if ((giveUp && giveUp()) || (deadlineMs != 0 && VexoPlatform::NowMs() >= deadlineMs)) break;
            wxEventLoopBase* loop = wxEventLoopBase::GetActive();
            if (loop)
                loop->DispatchTimeout(kTurnMs);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(kTurnMs));
        }
    }
    --g_depth;
    return result;
}

int EventfulWaitDepth() { return g_depth; }

void WaitForRepliesWithEventsRunning() {
    VexoSource::SetTurnWaiterForThisThread([](const std::function<bool()>& tryTake) {
        if (!wxEventLoopBase::GetActive()) {
            while (!tryTake()) std::this_thread::sleep_for(std::chrono::milliseconds(kTurnMs));
            return;
        }
        // No deadline and no giving up: the call in flight ends within its own bound.
        WaitWithEventsRunning(tryTake, 0);
    });
    VexoSource::SetReplyWaiterForThisThread([](VexoSource::VexoSyncobj& object, uint32_t ms) -> int32_t {
        const uint64_t deadline = VexoPlatform::NowMs() + ms;
        if (object.TimedWait(ms < kQuietReplyMs ? ms : kQuietReplyMs)) return 1;
        // Before the toolkit's loop runs (start-up's first reading) there is nothing to keep going.
        if (!wxEventLoopBase::GetActive()) {
            const uint64_t now = VexoPlatform::NowMs();
            return now >= deadline ? 0 : object.TimedWait(uint32_t(deadline - now));
        }
        // TimedWait(0) only looks at the flag.
        return WaitWithEventsRunning([&object] { return object.TimedWait(0) != 0; }, deadline) ? 1 : 0;
    });
}
