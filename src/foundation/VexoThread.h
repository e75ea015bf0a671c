// Worker thread with a cooperative stop request and a bounded stop.
//
// Stop sets the state to 2, wakes the worker's interruptible waits, waits at most 2000 ms for
// Run to return and then ends the thread by force. A forced end is a cancellation here: it acts
// at the next cancellation point (poll, recv, sleep, condition waits) and unwinds the worker's
// stack, so everything a worker holds that points into its stack (locks, registrations, reply
// slots) must be held through RAII objects. Normal shutdown never needs it: every wait of a
// worker goes through SleepFor or checks CurrentStopRequested in short slices.
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace VexoSource {

class VexoThread {
public:
    static constexpr int32_t kRunning = 0;
    static constexpr int32_t kStopRequested = 2;
    static constexpr uint32_t kStopTimeoutMs = 2000;

    VexoThread();
    virtual ~VexoThread();
    VexoThread(const VexoThread&) = delete;
    VexoThread& operator=(const VexoThread&) = delete;

    void Start();
    void Stop();

    // The thread body. The base version returns once it reads state 2.
    virtual void Run();

    // The state, read under the state lock.
    int32_t GetState() const;
    bool StopRequested() const { return GetState() == kStopRequested; }
    bool IsStarted() const;
    // True once Run has returned (or been unwound) on the last thread started. After a forced stop
    // that left the thread detached, the object may be destroyed only once this is true.
    bool HasFinished() const;

    // Sleeps up to `milliseconds`; returns early (false) once a stop has been requested.
    bool SleepFor(uint32_t milliseconds);

    // The VexoThread whose Run is executing on the calling thread, or nullptr.
    static VexoThread* Current();
    // True when the calling thread is a VexoThread worker whose stop has been requested.
    static bool CurrentStopRequested();
    // Sleeps on the calling thread; a worker's sleep ends early when its stop is requested.
    // Returns false when it ended early.
    static bool SleepCurrent(uint32_t milliseconds);

private:
    static void* ThreadMain(void* self);

    mutable std::mutex m_stateLock;
    std::condition_variable m_wake;  // stop requests and the end of Run
    int32_t m_state = kStopRequested;
    bool m_hasThread = false;
    bool m_finished = false;
    pthread_t m_thread{};
};

}  // namespace VexoSource
