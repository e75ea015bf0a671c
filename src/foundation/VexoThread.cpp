#include "foundation/VexoThread.h"

#include <cerrno>
#include <chrono>
#include <ctime>

#include "foundation/VexoLog.h"
#include "platform/PlatformTime.h"
#include "platform/TerminationSignals.h"

namespace VexoSource {

namespace {
thread_local VexoThread* t_current = nullptr;

// Marks the object finished however Run leaves: normally or by a cancellation unwinding. The
// wake-up is sent under the lock, so whoever sees the flag set (under that lock) knows this thread
// no longer touches the object and may destroy it.
struct FinishGuard {
    std::mutex& lock;
    std::condition_variable& wake;
    bool& finished;
    ~FinishGuard() {
        t_current = nullptr;
        std::lock_guard<std::mutex> g(lock);
        finished = true;
        wake.notify_all();
    }
};

timespec DeadlineIn(uint32_t milliseconds) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    ts.tv_sec += milliseconds / 1000;
    ts.tv_nsec += long(milliseconds % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}
}  // namespace

VexoThread::VexoThread() = default;

VexoThread::~VexoThread() {
    if (GetState() != kStopRequested || IsStarted()) Stop();
}

void* VexoThread::ThreadMain(void* self) {
    auto* thread = static_cast<VexoThread*>(self);
    t_current = thread;
    FinishGuard guard{thread->m_stateLock, thread->m_wake, thread->m_finished};
    thread->Run();
    return nullptr;
}

void VexoThread::Start() {
    std::lock_guard<std::mutex> lock(m_stateLock);
    m_state = kRunning;
    if (m_hasThread) {
        // A second Start is the caller's mistake: say so in the log, where every failure goes.
        VexoLogException(L"Thread's created ");
        return;
    }
    m_finished = false;
    // Workers leave SIGTERM, SIGINT and SIGHUP to the GUI thread, which ends the program on them;
    // blocked here, a signal can never cut a worker's poll or sleep short either.
    VexoPlatform::ScopedTerminationSignalBlock blocked;
    if (pthread_create(&m_thread, nullptr, &VexoThread::ThreadMain, this) == 0) m_hasThread = true;
}

void VexoThread::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        m_state = kStopRequested;
        if (!m_hasThread) return;
        // Called by the worker itself: waiting would only time out and then cancel the caller.
        // The request stands; the owner's next Stop collects the thread.
        if (pthread_equal(pthread_self(), m_thread)) return;
    }
    m_wake.notify_all();
    VexoLogDebug(L"Waiting the thread terminate signal");
    bool ended;
    {
        std::unique_lock<std::mutex> lock(m_stateLock);
        ended = m_wake.wait_for(lock, std::chrono::milliseconds(kStopTimeoutMs), [this] { return m_finished; });
    }
    if (!ended) {
        // Forced end: the worker unwinds at its next cancellation point.
        pthread_cancel(m_thread);
        const timespec deadline = DeadlineIn(kStopTimeoutMs);
        if (pthread_timedjoin_np(m_thread, nullptr, &deadline) != 0) {
            // Stuck outside any cancellation point: leave it detached rather than hang, and say
            // so, since it still runs on this object.
            pthread_detach(m_thread);
            VexoLogException(L"Thread did not end after the forced stop; left running detached");
        }
    } else {
        pthread_join(m_thread, nullptr);
    }
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        m_hasThread = false;
    }
    VexoLogDebug(L"Thread terminated");
}

void VexoThread::Run() {
    while (!StopRequested()) SleepFor(8);
}

int32_t VexoThread::GetState() const {
    std::lock_guard<std::mutex> lock(m_stateLock);
    return m_state;
}

bool VexoThread::IsStarted() const {
    std::lock_guard<std::mutex> lock(m_stateLock);
    return m_hasThread;
}

bool VexoThread::HasFinished() const {
    std::lock_guard<std::mutex> lock(m_stateLock);
    return m_finished;
}

bool VexoThread::SleepFor(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(m_stateLock);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_state == kStopRequested; });
}

VexoThread* VexoThread::Current() { return t_current; }

bool VexoThread::CurrentStopRequested() { return t_current && t_current->StopRequested(); }

bool VexoThread::SleepCurrent(uint32_t milliseconds) {
    if (t_current) return t_current->SleepFor(milliseconds);
    VexoPlatform::SleepMs(milliseconds);
    return true;
}

}  // namespace VexoSource
