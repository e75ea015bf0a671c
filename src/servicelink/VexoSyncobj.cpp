#include "servicelink/VexoSyncobj.h"

#include <cxxabi.h>

#include <chrono>
#include <mutex>
#include <set>

#include "foundation/VexoLog.h"
#include "foundation/VexoThread.h"
#include "platform/MonotonicClock.h"

namespace VexoSource {

namespace {

struct Registry {
    std::mutex lock;
    std::set<uintptr_t> addresses;
};

// Never destroyed: handles may still leave it from other objects' static destructors.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

uintptr_t AddressOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

// ---------------------------------------------------------------------------------------------
bool VexoHandleRegistry::contains(const VexoHandle_* handle) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    return r.addresses.count(AddressOf(handle)) != 0;
}

void VexoHandleRegistry::insert(const VexoHandle_* handle) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    r.addresses.insert(AddressOf(handle));
}

bool VexoHandleRegistry::remove(const VexoHandle_* handle) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    return r.addresses.erase(AddressOf(handle)) != 0;
}

size_t VexoHandleRegistry::count() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    return r.addresses.size();
}

// ---------------------------------------------------------------------------------------------
VexoHandle_::VexoHandle_() {
    VexoHandleRegistry::insert(this);
    VexoLogDebug(L"Insert syncobj reference 0x%0.8X", AddressOf(this));
}

VexoHandle_::~VexoHandle_() {
    VexoHandleRegistry::remove(this);
    VexoLogDebug(L"Delete syncobj reference 0x%0.8X", AddressOf(this));
}

int32_t VexoHandle_::TimedWait(uint32_t) { return 1; }

void VexoHandle_::Wait() {}

// ---------------------------------------------------------------------------------------------
VexoSyncobj::VexoSyncobj() = default;

VexoSyncobj::~VexoSyncobj() { Release(); }

int32_t VexoSyncobj::Initialize() {
    {
        std::lock_guard<std::mutex> g(m_flagLock);
        m_signalled = 0;
    }
    m_initialized = 1;
    return 1;
}

void VexoSyncobj::Release() {
    const bool wasInitialized = m_initialized.exchange(0) != 0;
    {
        std::lock_guard<std::mutex> g(m_flagLock);
        m_signalled = 0;
    }
    m_wake.notify_all();
    // Signalling is direct (no relay thread); the line still marks where the signalling side ends.
    if (wasInitialized) VexoLogDebug(L" 0x%0.8X syn-object thread exited", AddressOf(this));
}

int32_t VexoSyncobj::TimedWait(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(m_flagLock);
    if (m_signalled) return 1;
    const uint32_t slices = milliseconds / kSliceMs;
    if (slices == 0) return 0;
    // The slices share one deadline on the monotonic clock: what each of them oversleeps on a busy
    // machine must not add up beyond the bound, and a change of the wall-clock time must neither
    // end the wait early nor stretch it.
    const uint64_t end = VexoPlatform::NowMs() + uint64_t(slices) * kSliceMs;
    for (;;) {
        // A slice bounds how late a stop request of the waiting worker is seen.
        if (VexoThread::CurrentStopRequested() || !m_initialized) return 0;
        const uint32_t left = VexoPlatform::RealWaitMs(end);
        if (left == 0) return 0;
        m_wake.wait_for(lock, std::chrono::milliseconds(left < kSliceMs ? left : kSliceMs));
        if (m_signalled) return 1;
    }
}

void VexoSyncobj::Wait() {
    std::unique_lock<std::mutex> lock(m_flagLock);
    while (!m_signalled) {
        if (VexoThread::CurrentStopRequested() || !m_initialized) return;
        m_wake.wait_for(lock, std::chrono::milliseconds(kSliceMs));
    }
}

void VexoSyncobj::Close() { Release(); }

void VexoSyncobj::Signal() {
    {
        std::lock_guard<std::mutex> g(m_flagLock);
        m_signalled = 1;
    }
    m_wake.notify_all();
}

void VexoSyncobj::Reset() {
    std::lock_guard<std::mutex> g(m_flagLock);
    m_signalled = 0;
}

bool VexoSyncobj::IsSignalled() const {
    std::lock_guard<std::mutex> g(m_flagLock);
    return m_signalled != 0;
}

// ---------------------------------------------------------------------------------------------
void GuardedReset(VexoSyncobj* object) {
    if (object && VexoHandleRegistry::contains(object)) object->Reset();
}

void GuardedSignal(VexoSyncobj* object) {
    if (object && VexoHandleRegistry::contains(object)) object->Signal();
}

namespace {
thread_local ReplyWaiter t_replyWaiter;
}  // namespace

void SetReplyWaiterForThisThread(ReplyWaiter waiter) { t_replyWaiter = std::move(waiter); }

namespace {
thread_local TurnWaiter t_turnWaiter;
}  // namespace

void SetTurnWaiterForThisThread(TurnWaiter waiter) { t_turnWaiter = std::move(waiter); }

void WaitForTurn(const std::function<bool()>& tryTake, const std::function<void()>& take) {
    if (tryTake()) return;
    if (t_turnWaiter)
        t_turnWaiter(tryTake);
    else
        take();
}

int32_t GuardedWait(VexoSyncobj* object) {
    if (!object || !VexoHandleRegistry::contains(object)) return 1;
    try {
        if (t_replyWaiter) return t_replyWaiter(*object, kGuardedWaitMs);
        return object->TimedWait(kGuardedWaitMs);
    } catch (abi::__forced_unwind&) {
        throw;  // a forced thread end must keep unwinding
    } catch (...) {
        return 0;
    }
}

VexoSyncobj* CreateSyncobj() {
    auto* object = new VexoSyncobj;
    if (object->Initialize() == 0) {
        object->Close();
        delete object;
        VexoLogException(L"Unable to initialize event");
        return nullptr;
    }
    return object;
}

}  // namespace VexoSource
