// The main window's device choice: a choice takes effect between request sequences only.
#include "app/CPMainFrame.h"

#include "foundation/VexoLog.h"

using namespace VexoSource;

void CPMainFrame::ChooseFromList(const std::string& identifier) {
    // A later choice replaces one that still waits: the last one the user made counts.
    m_waitingChoice = identifier;
    m_choiceWaiting = true;
    AdoptWaitingChoice();
}

void CPMainFrame::AdoptWaitingChoice() {
    if (!m_choiceWaiting) return;
    // Only tried: the GUI thread must not stand still while the watch finishes its pass.
    RequestLock lock(m_requestLock, kChoicePlace, RequestLock::TryTag());
    if (!lock.Owns()) {
        VexoLogDebug(L"Device %hs chosen during a sequence: taken when it ends", m_waitingChoice);
        m_choiceTimer.StartOnce(kChoiceRetryMs);
        return;
    }
    // The lock is held: Device() adopts it.
    Device();
}

DeviceHandle CPMainFrame::Device() {
    // Called with the request lock held, as a sequence starts: the moment between sequences.
    if (m_choiceWaiting && wxThread::IsMain()) {
        m_choiceWaiting = false;
        m_choiceTimer.Stop();
        SelectDevice(m_waitingChoice);
    }
    return ChosenDevice();
}
