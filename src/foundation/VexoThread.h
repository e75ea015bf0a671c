// Worker thread with a cooperative stop request and a bounded stop.
//
// Stop sets the state to 2, wakes the worker's interruptible waits (SleepFor, WaitForStop, and a
// poll on StopEventFd), waits at most 2000 ms for Run to return and then ends the thread by force.
// A forced end is a cancellation here: it acts at the next cancellation point (poll, recv, sleep,
// condition waits) and unwinds the worker's stack, so everything a worker holds that points into
// its stack (locks, registrations, reply slots) must be held through RAII objects. A worker that
// reaches no cancellation point within another 2000 ms is reported and waited for: Stop never
// returns while the thread may still run on the object, so the owner may destroy it afterwards,
// and a later Start never meets a thread of an earlier one. Normal shutdown never needs the force:
// every wait of a worker goes through SleepFor, WaitForStop or StopEventFd, or checks
// CurrentStopRequested in short slices.
//
// Waits that have a length (SleepFor) run on the installed monotonic clock (platform/
// MonotonicClock.h); the bounds of Stop are real time, since they must hold whatever clock a test
// installed.
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/WakeEvent.h"

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

    // Starts Run on a new thread. False when the system would not create one: logged at Exception
    // with the system's reason, the state back to "stop requested", no thread held. A caller that
    // cannot do its job without the thread must say so. A second Start while a thread is held
    // returns true (and logs the caller's mistake).
    bool Start();
    void Stop();

    // How threads are created: pthread_create unless a test installs another (to see what a
    // failed creation does). Returns the previous one; nullptr restores pthread_create.
    using ThreadCreator = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static ThreadCreator SetThreadCreator(ThreadCreator creator);

    // The thread body. The base version returns once it reads state 2.
    virtual void Run();

    // The state, read under the state lock.
    int32_t GetState() const;
    bool StopRequested() const { return GetState() == kStopRequested; }
    bool IsStarted() const;
    // True once Run has returned (or been unwound) on the last thread started.
    bool HasFinished() const;

    // Sleeps up to `milliseconds` of the installed clock; returns early (false) once a stop has
    // been requested.
    bool SleepFor(uint32_t milliseconds);
    // Blocks until a stop is requested (a worker with nothing to do: it costs no wake-up).
    void WaitForStop();
    // Readable from the stop request until the next Start: a worker that waits in poll() for its
    // socket adds it to the set, so that it needs no time-out to see the request. -1 when the
    // system could not provide one (then the worker must poll with a time-out).
    int StopEventFd() const { return m_stopEvent.Fd(); }

    // The name the thread carries in the system (ps, top, /proc/PID/task/TID/comm): at most 15
    // characters; applied when the thread starts.
    void SetThreadName(const std::string& name) { m_name = name.substr(0, 15); }

    // The VexoThread whose Run is executing on the calling thread, or nullptr.
    static VexoThread* Current();
    // True when the calling thread is a VexoThread worker whose stop has been requested.
    static bool CurrentStopRequested();
    // Sleeps on the calling thread; a worker's sleep ends early when its stop is requested.
    // Returns false when it ended early.
    static bool SleepCurrent(uint32_t milliseconds);

private:
    static void* ThreadMain(void* self);
    // Waits (real time) until Run has finished or the bound has passed; true when finished.
    bool WaitFinished(uint32_t milliseconds);

    mutable std::mutex m_stateLock;
    std::condition_variable m_wake;  // stop requests and the end of Run
    int32_t m_state = kStopRequested;
    bool m_hasThread = false;
    bool m_finished = false;
    pthread_t m_thread{};
    VexoPlatform::WakeEvent m_stopEvent;
    std::string m_name;
};

}  // namespace VexoSource
