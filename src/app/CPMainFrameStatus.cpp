// The main window's reading of the service and the display of what it read.
#include "app/AppState.h"
#include "app/CPMainFrame.h"
#include "app/ShutdownOnSignal.h"
#include "device/DeviceChoice.h"
#include "device/DeviceStatus.h"
#include "device/MainFrameRules.h"
#include "device/PendingRestore.h"
#include "dialogs/DlgCalib.h"
#include "foundation/VexoLog.h"
#include "gui/MessageBox.h"
#include "gui/WxText.h"

using namespace VexoSource;

int32_t CPMainFrame::LoadFromService() {
    // The list is read for whatever is chosen (nothing yet at start); the rest for the device the
    // list made the choice.
    if (!ReadDeviceList(ChosenDevice())) return 0;
    if (!SyncDeviceChoice()) return 0;
    const DeviceHandle device = ChosenDevice();
    ReadDeviceState(device);
    RefreshDisplay();

    RequestLock lock(m_requestLock, kLoadPlace);
    if (!lock.Owns()) return 0;
    switch (ReadStartInfo(device, m_startInfo, g_ProductSeries, g_RequiredConfigVersion)) {
        case StartInfoResult::Ready:
            return 1;
        case StartInfoResult::TooOld:
            VexoMessageBox(LangText("Version_Lower_Than_2_0", u""), wxEmptyString, wxOK);
            return 0;
        case StartInfoResult::NotRead:
            break;
    }
    return 0;
}

int32_t CPMainFrame::ReadDeviceList(const DeviceHandle& device) {
    return VexoSource::ReadDeviceList(device, m_deviceList);
}

int32_t CPMainFrame::ReadDeviceState(const DeviceHandle& device) {
    // Only shown, never written back: a short reply shows what it brought beside the last reading.
    const int32_t result =
        VexoSource::ReadDeviceState(device, m_currentInfo, m_runtimeStatus, m_currentConfig, ReadRule::AsAnswered);
    // Noted so that the display never shows one device's values as another's.
    m_readingSelector = device.Selector();
    return result;
}

int32_t CPMainFrame::SyncDeviceChoice() {
    if (m_deviceList.empty()) return 0;
    if (m_pDeviceChoice->GetCount() == 0) {
        for (const VexoWString& id : m_deviceList) m_pDeviceChoice->Append(ToWx(id.str));
        m_pDeviceChoice->SetSelection(0);
        SelectDevice(ToNarrow(m_deviceList.front().str));
        return 1;
    }
    std::vector<std::u16string> items;
    for (unsigned i = 0; i < m_pDeviceChoice->GetCount(); ++i) items.push_back(FromWx(m_pDeviceChoice->GetString(i)));
    const ChoiceEdit edit = PlanChoiceEdit(items, FromWx(m_pDeviceChoice->GetValue()), m_deviceList);
    for (size_t index : edit.deletions) m_pDeviceChoice->Delete(static_cast<unsigned>(index));
    for (const std::u16string& id : edit.appends) m_pDeviceChoice->Append(ToWx(id));
    if (edit.currentGone && m_pDeviceChoice->GetCount() > 0) {
        m_pDeviceChoice->SetSelection(0);
        SelectDevice(ToNarrow(FromWx(m_pDeviceChoice->GetString(0))));
    }
    return 1;
}

int32_t CPMainFrame::RefreshDisplay() {
    if (g_FirstRefresh) {
        // SetValue on a radio button raises no command event, so this does not count as a change.
        m_pMultiTouch->SetValue(m_currentConfig.multiTouchMode != 0);
        m_pMouse->SetValue(m_currentConfig.mouseMode != 0);
    }
    m_pTouches->SetValue(ToWx(TouchPointsText(m_runtimeStatus)));
    m_pScreenSize->SetValue(ToWx(ScreenSizeNumber(m_currentInfo, g_ProductSeries)) + wxT(" ") + LangText("Inches", u""));
    m_pFirmware->SetValue(ToWx(FirmwareText(m_startInfo.VersionByte(), m_currentInfo.VersionByte())));
    const std::string modeKey = ServiceModeKey(VexoSource::RuntimeRunMode(m_runtimeStatus));
    if (!modeKey.empty()) m_pServiceStatus->SetValue(LangText(modeKey.c_str(), u""));
    g_FirstRefresh = 0;
    return 1;
}

void CPMainFrame::PostRefresh() {
    wxCommandEvent event(RefreshEvent, GetId());
    event.SetEventObject(this);
    event.SetInt(kRefreshValue);
    // Thread-safe hand-over: the toolkit delivers the copy on the GUI thread.
    GetEventHandler()->QueueEvent(event.Clone());
}

void CPMainFrame::OnRefresh(wxCommandEvent& event) {
    VexoLogDebug(L"Event handling...");
    RequestLock lock(m_requestLock, kRefreshPlace, RequestLock::TryTag());
    if (!lock.Owns()) {
        VexoLogDebug(L"Try locking failed with %u", kRefreshPlace);
        return;
    }
    if (event.GetInt() == kRefreshValue) {
        SyncDeviceChoice();
        // A reading of the device chosen before (the choice waited for its pass) would show its
        // values for the one chosen now, and set the mode buttons from it, which Apply would then
        // write to the new device. It is dropped; the next pass reads the chosen device.
        const uint32_t chosen = Device().Selector();
        if (m_readingSelector == chosen) {
            RefreshDisplay();
        } else {
            VexoLogDebug(L"Reading of device %u dropped: device %u is chosen now", m_readingSelector, chosen);
        }
    }
}

void CPMainFrame::SelectDevice(const std::string& identifier) {
    if (AdoptDevice(identifier, &g_CurrentDeviceId)) g_FirstRefresh = 1;
}

void CPMainFrame::ReportDeviceLost(const wxString& message, const wxString& caption, bool show) {
    // Controls belong to the GUI thread; the watch thread only queues the report. wxString is
    // copied into the call, and a window destroyed before it runs drops its queued calls.
    if (!wxThread::IsMain()) {
        CallAfter([this, message, caption, show] { ReportDeviceLost(message, caption, show); });
        return;
    }
    // A dialog, question or message box may be open over the window, each running a loop of its
    // own: they end first, and the window is hidden, the user told and the window closed only in
    // the window's own loop.
    if (EndOverOpenWindows([this, message, caption, show] { ShowDeviceLost(message, caption, show); })) return;
    ShowDeviceLost(message, caption, show);
}

void CPMainFrame::ShowDeviceLost(const wxString& message, const wxString& caption, bool show) {
    Show(false);
    // A calibration's put-back that the service never answered: the message that said so may
    // have been closed by this loss before anyone read it, and the program now ends with the
    // frame on the cleared record. The one message left says both.
    if (show && RestorePendingExists()) {
        VexoLogInfo(L"A frame's previous calibration is still to be restored; the loss message says so too");
        VexoMessageBox(message + wxT("\n\n") + CalibrationNotRestoredText(), caption, wxOK);
    } else if (show) {
        VexoMessageBox(message, caption, wxOK);
    }
    Close(true);
}
