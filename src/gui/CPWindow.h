// Base of the main window and the settings dialogs: the ready and modified flags behind the Apply
// button, the window's Cancel/Apply/Done buttons, its request lock and the apply protocol.
//
// The request lock serialises this window's request sequences between the GUI thread and the
// window's worker thread. It is a non-recursive wxMutex: a handler that holds it must not call
// anything that takes it again.
#pragma once

#include <wx/button.h>
#include <wx/thread.h>

#include <atomic>
#include <cstdint>

#include "foundation/VexoObj.h"
#include "servicelink/DeviceHandle.h"

class CPWindow : public VexoObj {
public:
    // Place number and the constant that the lock log lines carry.
    static constexpr uint32_t kLockTag = 12;
    static constexpr uint32_t kApplyPlace = 9;

    CPWindow() = default;
    ~CPWindow() override = default;
    CPWindow(const CPWindow&) = delete;
    CPWindow& operator=(const CPWindow&) = delete;

    // Writes the window's edited settings to device; called by ApplyChanges with the request lock
    // held. Non-zero when everything was written.
    virtual int32_t WriteSettings(const VexoSource::DeviceHandle& device) = 0;
    // Reads the window's state from the service and shows it; non-zero on success.
    virtual int32_t LoadFromService() = 0;
    // GetAccessState: non-zero when the device may be used now; *answered (when given) says
    // whether the service answered at all.
    virtual int32_t CheckAccess(const VexoSource::DeviceHandle& device, int32_t* answered);
    // The device of the window's next sequence. The main window takes the chosen one; a dialog
    // keeps the one that its opener's sequence began on, for as long as it is open.
    virtual VexoSource::DeviceHandle Device();

    // Enables Apply once the window is ready; changes made while filling it do not count.
    void MarkModified();
    // Writes the settings and has the service re-initialise the device, under the request lock,
    // both to the device that Device() names once the lock is held.
    // When the write fails the device is not re-initialised, the window stays modified (Apply
    // stays on) and the user is told; false then. True when written or when nothing was modified.
    bool ApplyChanges();

    int32_t m_ready = 0;
    // wxTopLevelWindowBase has a member of the same name: windows that also derive from a wx
    // top-level window write CPWindow::m_modified.
    int32_t m_modified = 0;
    wxButton* m_pCancel = nullptr;
    wxButton* m_pApply = nullptr;
    wxButton* m_pDone = nullptr;
    wxMutex m_requestLock;

    // True while a command of the GUI thread waits for the request lock (CommandLock): the worker
    // ends its pass at the next boundary between its sequences, so the command goes next.
    bool CommandWaiting() const { return m_commandsWaiting.load() > 0; }
    std::atomic<int> m_commandsWaiting{0};
    // Set by the window's worker around each attempt to take the lock and while it holds it: a
    // command that finds the lock taken and this clear knows that its own thread holds it.
    std::atomic<bool> m_workerHolds{false};
};

// Holds a window's request lock for a scope and writes the lock log lines with the place number
// that names the holder. Scoped, so that a worker cancelled while it holds the lock releases it.
class RequestLock {
public:
    struct TryTag {};

    // Blocks until the lock is taken. When locking fails (the toolkit reports a dead lock or a
    // broken mutex) it logs at Exception and Owns() is false: the holder must not make its requests.
    RequestLock(wxMutex& lock, uint32_t place);
    // Takes the lock only when it is free; Owns() tells whether it did. Logs nothing on failure.
    RequestLock(wxMutex& lock, uint32_t place, TryTag);
    ~RequestLock();
    RequestLock(const RequestLock&) = delete;
    RequestLock& operator=(const RequestLock&) = delete;

    bool Owns() const { return m_owns; }

private:
    wxMutex& m_lock;
    uint32_t m_place;
    bool m_owns = false;
};
