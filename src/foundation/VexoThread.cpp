#include "foundation/VexoThread.h"

#include <atomic>
#include <cerrno>
#include <chrono>

#include "foundation/VexoLog.h"
#include "platform/LastError.h"
#include "platform/MonotonicClock.h"
#include "platform/PlatformTime.h"
#include "platform/TerminationSignals.h"

namespace VexoSource {

namespace {
thread_local VexoThread* t_current = nullptr;
std::atomic<VexoThread::ThreadCreator> g_createThread{&pthread_create};

// Marks the object finished however Run leaves: normally or by a cancellation unwinding. The
// wake-up is sent under the lock, so whoever sees the flag set (under that lock) knows this thread
// no longer touches the object but to end.
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

VexoThread::ThreadCreator VexoThread::SetThreadCreator(ThreadCreator creator) {
    return g_createThread.exchange(creator ? creator : &pthread_create);
}

bool VexoThread::Start() {
    std::lock_guard<std::mutex> lock(m_stateLock);
    m_state = kRunning;
    if (m_hasThread) {
        // A second Start is the caller's mistake: say so in the log, where every failure goes.
        VexoLogException(L"Thread's created ");
        return true;
    }
    m_stopEvent.Clear();
    m_finished = false;
    // Workers leave SIGTERM, SIGINT and SIGHUP to the GUI thread, which ends the program on them;
    // blocked here, a signal can never cut a worker's poll or sleep short either.
    VexoPlatform::ScopedTerminationSignalBlock blocked;
    const int rc = g_createThread.load()(&m_thread, nullptr, &VexoThread::ThreadMain, this);
    if (rc != 0) {
        // Nothing runs: a state of "running" would have every caller wait for work that never
        // happens (a request for its whole bound). pthread_create reports its reason as its result.
        m_state = kStopRequested;
        VexoPlatform::SetLastError(static_cast<uint32_t>(rc));
        VexoLogException(L"Thread %hs could not be started", m_name.empty() ? "(unnamed)" : m_name.c_str());
        return false;
    }
    m_hasThread = true;
    if (!m_name.empty()) pthread_setname_np(m_thread, m_name.c_str());
    return true;
}

bool VexoThread::WaitFinished(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(m_stateLock);
    return m_wake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_finished; });
}

void VexoThread::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        m_state = kStopRequested;
        m_stopEvent.Set();
        if (!m_hasThread) return;
        // Called by the worker itself: waiting would only time out and then cancel the caller.
        // The request stands; the owner's next Stop collects the thread.
        if (pthread_equal(pthread_self(), m_thread)) return;
    }
    m_wake.notify_all();
    VexoLogDebug(L"Waiting the thread terminate signal");
    if (!WaitFinished(kStopTimeoutMs)) {
        // Forced end: the worker unwinds at its next cancellation point.
        pthread_cancel(m_thread);
        if (!WaitFinished(kStopTimeoutMs)) {
            // Stuck outside any cancellation point. It still runs on this object, which its owner
            // destroys once Stop returns: wait for it rather than leave it running on freed memory.
            VexoLogException(L"Thread did not end after the forced stop; waiting for it");
            std::unique_lock<std::mutex> lock(m_stateLock);
            m_wake.wait(lock, [this] { return m_finished; });
        }
    }
    pthread_join(m_thread, nullptr);
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        m_hasThread = false;
    }
    VexoLogDebug(L"Thread terminated");
}

void VexoThread::Run() { WaitForStop(); }

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
    const uint64_t deadline = VexoPlatform::NowMs() + milliseconds;
    std::unique_lock<std::mutex> lock(m_stateLock);
    for (;;) {
        if (m_state == kStopRequested) return false;
        const uint32_t step = VexoPlatform::RealWaitMs(deadline);
        if (step == 0) return true;
        m_wake.wait_for(lock, std::chrono::milliseconds(step), [this] { return m_state == kStopRequested; });
    }
}

void VexoThread::WaitForStop() {
    std::unique_lock<std::mutex> lock(m_stateLock);
    m_wake.wait(lock, [this] { return m_state == kStopRequested; });
}

VexoThread* VexoThread::Current() { return t_current; }

bool VexoThread::CurrentStopRequested() { return t_current && t_current->StopRequested(); }

bool VexoThread::SleepCurrent(uint32_t milliseconds) {
    if (t_current) return t_current->SleepFor(milliseconds);
    VexoPlatform::SleepMs(milliseconds);
    return true;
}

}  // namespace VexoSource
