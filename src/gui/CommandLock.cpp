#include "gui/CommandLock.h"

#include "foundation/VexoLog.h"
#include "gui/EventfulWait.h"

namespace {

std::function<bool()>& Abandon() {
    static std::function<bool()> abandon;
    return abandon;
}

bool Abandoned() { return Abandon() && Abandon()(); }

}  // namespace

CommandLock::CommandLock(CPWindow& window, uint32_t place) {
    m_lock = std::make_unique<RequestLock>(window.m_requestLock, place, RequestLock::TryTag());
    if (m_lock->Owns()) return;
    // Not the worker's: this thread holds it already, and the blocking lock says so (a dead lock).
    bool notTheWorkers = !window.m_workerHolds;
    if (!notTheWorkers && !Abandoned()) {
        VexoLogDebug(L"Command %u waits for the running pass", place);
        ++window.m_commandsWaiting;
        WaitWithEventsRunning(
            [&] {
                m_lock = std::make_unique<RequestLock>(window.m_requestLock, place, RequestLock::TryTag());
                notTheWorkers = !m_lock->Owns() && !window.m_workerHolds;
                return m_lock->Owns() || notTheWorkers;
            },
            0, Abandoned);
        --window.m_commandsWaiting;
    }
    if (m_lock->Owns()) return;
    if (notTheWorkers) {
        m_lock = std::make_unique<RequestLock>(window.m_requestLock, place);
        return;
    }
    VexoLogInfo(L"Command %u given up: the program is ending", place);
    m_lock.reset();
}

CommandLock::~CommandLock() = default;

std::function<bool()> SetCommandWaitAbandon(std::function<bool()> abandon) {
    std::function<bool()> previous = std::move(Abandon());
    Abandon() = std::move(abandon);
    return previous;
}
