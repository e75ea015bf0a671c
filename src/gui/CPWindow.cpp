#include "gui/CPWindow.h"

#include "device/DeviceRequests.h"
#include "foundation/VexoLog.h"
#include "gui/CommandLock.h"
#include "gui/MessageBox.h"
#include "gui/WxText.h"

using namespace VexoSource;

RequestLock::RequestLock(wxMutex& lock, uint32_t place) : m_lock(lock), m_place(place) {
    const wxMutexError error = m_lock.Lock();
    m_owns = error == wxMUTEX_NO_ERROR;
    if (m_owns)
        VexoLogDebug(L"RPC Locking...%u with thread:%u", m_place, CPWindow::kLockTag);
    else
        VexoLogException(L"RPC Locking...%u failed with error %d", m_place, int(error));
}

RequestLock::RequestLock(wxMutex& lock, uint32_t place, TryTag) : m_lock(lock), m_place(place) {
    m_owns = m_lock.TryLock() == wxMUTEX_NO_ERROR;
    if (m_owns) VexoLogDebug(L"RPC Locking...%u with thread:%u", m_place, CPWindow::kLockTag);
}

RequestLock::~RequestLock() {
    if (!m_owns) return;
    m_lock.Unlock();
    VexoLogDebug(L"RPC Unlocking...%u with thread:%u", m_place, CPWindow::kLockTag);
}

int32_t CPWindow::CheckAccess(const DeviceHandle& device, int32_t* answered) {
    const AccessState state = QueryAccess(device);
    if (answered) *answered = state != AccessState::NoAnswer ? 1 : 0;
    return state == AccessState::Ready ? 1 : 0;
}

DeviceHandle CPWindow::Device() { return ChosenDevice(); }

void CPWindow::MarkModified() {
    if (!m_ready) return;
    m_modified = 1;
    if (m_pApply) m_pApply->Enable(true);
}

bool CPWindow::ApplyChanges() {
    if (!(m_ready && m_modified)) return true;
    VexoLogDebug(L"0x%0.8x object configuration set.Apply those setting", reinterpret_cast<uintptr_t>(this));
    bool written;
    {
        CommandLock lock(*this, kApplyPlace);
        // Without the lock the write could interleave with the worker's requests: none is made.
        // Taken once the lock is held: the device choice changes only between sequences.
        const DeviceHandle device = Device();
        written = lock.Owns() && WriteSettings(device) != 0;
        if (written) {
            m_modified = 0;
            if (m_pApply) m_pApply->Enable(false);
            RequestDeviceReset(device);
        }
    }
    // Told once the lock is free again: the box runs a modal loop of its own.
    if (!written)
        VexoMessageBox(LangText("Settings_Write_Failed",
                                u"The settings could not be written to the device. Please try again."),
                       wxEmptyString, wxOK);
    return written;
}
