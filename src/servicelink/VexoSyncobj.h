// The waitable object on which a request waits for its reply, and the registry of live handles.
//
// VexoSyncobj behaves as a manually reset event with a sticky flag: Reset clears it, Signal sets
// it and wakes the waiter, TimedWait and Wait return as soon as it is set. Waits run in 8 ms
// slices so that a worker's stop request and the flag are seen without a dedicated wake-up.
//
// Every VexoHandle_ registers its address while it is alive; the guarded operations ask the
// registry first, so a late signal or wait on a destroyed object does nothing instead of touching
// freed memory.
#pragma once

#include <functional>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

#include "foundation/VexoObj.h"

namespace VexoSource {

class VexoHandle_ : public VexoObj {
public:
    // Joins the registry ("Insert syncobj reference" at Debug).
    VexoHandle_();
    // Leaves the registry ("Delete syncobj reference" at Debug).
    ~VexoHandle_() override;
    VexoHandle_(const VexoHandle_&) = delete;
    VexoHandle_& operator=(const VexoHandle_&) = delete;

    virtual int32_t TimedWait(uint32_t milliseconds);
    virtual void Wait();
    virtual void Close() = 0;
};

// Process-wide ordered set of live handle addresses. Safe to use from any thread and during
// static initialisation and destruction.
class VexoHandleRegistry {
public:
    static bool contains(const VexoHandle_* handle);
    // Adds the address once; inserting a registered address again changes nothing.
    static void insert(const VexoHandle_* handle);
    // True when the address was registered and is now removed.
    static bool remove(const VexoHandle_* handle);
    static size_t count();
};

class VexoSyncobj : public VexoHandle_ {
public:
    static constexpr uint32_t kSliceMs = 8;

    VexoSyncobj();
    ~VexoSyncobj() override;

    // Makes the object usable with the flag cleared; returns 1.
    int32_t Initialize() override;
    // Clears the flag and marks the object uninitialised; a waiter in progress gives up.
    void Release() override;

    // 1 as soon as the flag is set, 0 when it was not set within milliseconds / 8 slices of 8 ms
    // (so 0 at once below 8 ms), or when the calling worker's stop has been requested.
    int32_t TimedWait(uint32_t milliseconds) override;
    // As TimedWait without a slice limit (still ends, with the flag clear, on a stop request).
    void Wait() override;
    void Close() override;

    // Sets the sticky flag and wakes the waiter. Called by the receiving thread.
    void Signal();
    void Reset();

    bool IsSignalled() const;
    int32_t IsInitialized() const { return m_initialized.load(); }

private:
    std::atomic<int32_t> m_initialized{0};
    mutable std::mutex m_flagLock;         // guards m_signalled and pairs with m_wake
    std::condition_variable m_wake;
    int32_t m_signalled = 0;
};

// Guarded operations: each first makes sure that the object is still registered.
// Reset: clears the flag; does nothing when not registered.
void GuardedReset(VexoSyncobj* object);
// Signal: does nothing when not registered.
void GuardedSignal(VexoSyncobj* object);
// Wait: TimedWait(3000) when registered (an exception from the wait gives 0); 1 at once otherwise.
int32_t GuardedWait(VexoSyncobj* object);

constexpr uint32_t kGuardedWaitMs = 3000;

// How the calling thread waits in GuardedWait from now on, in place of TimedWait: given the object
// and the bound, it returns what TimedWait would. For the GUI thread, which must keep its event
// loop running while a reply is on its way; every other thread keeps the plain wait. An empty
// waiter restores it. Per thread: only the thread that installs a waiter uses it.
using ReplyWaiter = std::function<int32_t(VexoSyncobj& object, uint32_t milliseconds)>;
void SetReplyWaiterForThisThread(ReplyWaiter waiter);
// How the calling thread waits for its turn when another thread's call is in flight: it returns
// once tryTake() has returned true. Per thread, as the reply waiter; without one, take() blocks.
using TurnWaiter = std::function<void(const std::function<bool()>& tryTake)>;
void SetTurnWaiterForThisThread(TurnWaiter waiter);
void WaitForTurn(const std::function<bool()>& tryTake, const std::function<void()>& take);

// The creation step: a new, initialised object, or nullptr ("Unable to initialize event" logged).
VexoSyncobj* CreateSyncobj();

}  // namespace VexoSource
