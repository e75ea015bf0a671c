#include "gui/CommandLock.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/utils.h>

#include <thread>

#include "foundation/VexoLog.h"

namespace {

// One turn of the event loop while waiting: events are handled as they come, and the lock is
// looked at again at least this often.
constexpr unsigned long kWaitTurnMs = 20;

std::function<bool()>& Abandon() {
    static std::function<bool()> abandon;
    return abandon;
}

bool Abandoned() { return Abandon() && Abandon()(); }

}  // namespace

CommandLock::CommandLock(CPWindow& window, uint32_t place) {
    m_lock = std::make_unique<RequestLock>(window.m_requestLock, place, RequestLock::TryTag());
    if (m_lock->Owns() || Abandoned()) return;
    VexoLogDebug(L"Command %u waits for the running pass", place);
    ++window.m_commandsWaiting;
    {
        // No input reaches any window meanwhile: a second command could not run before this one.
        wxWindowDisabler insensitive;
        wxBusyCursor busy;
        for (;;) {
            m_lock = std::make_unique<RequestLock>(window.m_requestLock, place, RequestLock::TryTag());
            if (m_lock->Owns() || Abandoned()) break;
            wxEventLoopBase* loop = wxEventLoopBase::GetActive();
            if (loop)
                loop->DispatchTimeout(kWaitTurnMs);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(kWaitTurnMs));
        }
    }
    --window.m_commandsWaiting;
    if (!m_lock->Owns()) {
        VexoLogInfo(L"Command %u given up: the program is ending", place);
        m_lock.reset();
    }
}

CommandLock::~CommandLock() = default;

std::function<bool()> SetCommandWaitAbandon(std::function<bool()> abandon) {
    std::function<bool()> previous = std::move(Abandon());
    Abandon() = std::move(abandon);
    return previous;
}
