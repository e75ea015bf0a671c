// The main window's commands: every button, the two mode radio buttons and the device choice.
#include "app/CPMainFrame.h"

#include "device/FactoryRules.h"
#include "app/MessageBox.h"
#include "app/WxText.h"
#include "dialogs/DlgAdvSetting.h"
#include "foundation/VexoLog.h"
#include "platform/ProcessLauncher.h"
#include "servicelink/ServiceRequests.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;

namespace {

// Name the holders of the request lock in the lock log lines.
constexpr uint32_t kAdvancedPlace = 4;
constexpr uint32_t kFactoryPlace = 7;

// Reads one record that is written back afterwards; false (logged) when the service did not
// answer with the whole record.
template <typename R>
bool ReadRecord(uint32_t code, R& record) {
    const bool whole = RequestWholeRecord(code, &record, sizeof record) != 0;
    if (!whole) VexoLogException(L"Get response failed! ");
    return whole;
}

template <typename R>
bool WriteRecord(uint32_t code, const R& record) {
    uint8_t answer = 0;
    int32_t ok = 0;
    SendRequest(code, &answer, &ok, &record, sizeof record, 1);
    if (!ok) VexoLogException(L"Get response failed! ");
    return ok != 0;
}

void OpenAdvancedSettings(CPMainFrame& frame) {
    DlgAdvSetting* dialog = nullptr;
    {
        // Held while the dialog is open: the device watch pauses, and it shares the multi-config
        // buffer that the dialog uses.
        RequestLock lock(frame.m_requestLock, kAdvancedPlace);
        dialog = new DlgAdvSetting(&frame);
        if (!lock.Owns()) {
            // Logged by the lock: without it the dialog's requests could meet the watch's.
        } else if (!frame.CheckAccess(nullptr)) {
            VexoMessageBox(LangText("Device_was_resetting", u"Device was resetting,Please try later"), wxEmptyString,
                           wxOK);
        } else if (dialog->Initialize()) {
            dialog->ShowModal();
        }
    }
    dialog->Destroy();
}

void ResetToFactory(CPMainFrame& frame) {
    if (VexoMessageBox(LangText("Reset_Configuration", u"Reset to manufacturer setting?"), wxEmptyString,
                       wxYES_NO) != wxYES)
        return;
    RequestLock lock(frame.m_requestLock, kFactoryPlace);
    if (!lock.Owns() || !frame.CheckAccess(nullptr)) return;

    if (!ReadRecord(GetDeviceConfig, frame.m_deviceConfig) || !ReadRecord(GetEffects, frame.m_effects) ||
        !ReadRecord(GetCalibration, frame.m_calibration))
        return;
    ApplyFactoryDeviceConfig(frame.m_deviceConfig);
    ApplyFactoryEffects(frame.m_effects);
    ApplyFactoryCalibration(frame.m_calibration);

    // Pen simulation off; the service's answer does not stop the reset.
    const uint32_t penOff = 0;
    const MultiConfigRecord* item = BuildMultiConfigRecord(2, &penOff, sizeof penOff);
    uint8_t answer = 0;
    int32_t ok = 0;
    SendRequest(SetMultiConfig, &answer, &ok, item, sizeof *item, 1);

    // What was written before a failure stays written; the device is then not re-initialised.
    if (!WriteRecord(SetDeviceConfig, frame.m_deviceConfig) || !WriteRecord(SetEffects, frame.m_effects) ||
        !WriteRecord(SetCalibration, frame.m_calibration))
        return;
    SendResetDevice();
}

// True when the window should close: the updater takes over even when it could not be started.
bool RunUpdater() {
    if (VexoMessageBox(LangText("Run_Update",
                                u"Run the update application and quit current configuration application?"),
                       wxEmptyString, wxYES_NO) != wxYES)
        return false;
    VexoPlatform::StartUpdater();
    return true;
}

}  // namespace

void CPMainFrame::OnCommand(wxCommandEvent& event) {
    wxObject* source = event.GetEventObject();
    if (source == nullptr) {
        event.Skip();
    } else if (source == m_pCancel) {
        Close(false);
    } else if (source == m_pApply) {
        ApplyChanges();
    } else if (source == m_pDone) {
        // A failed write keeps the window open: the user has been told and may try again.
        if (ApplyChanges()) Close(false);
    } else if (source == m_pMultiTouch || source == m_pMouse) {
        MarkModified();
    } else if (source == m_pUpdate) {
        if (RunUpdater()) Close(false);
    } else if (source == m_pDeviceChoice) {
        // GetValue: a combo box's label is not its selected text in this toolkit version.
        SelectDevice(ToNarrow(FromWx(m_pDeviceChoice->GetValue())));
    } else if (source == m_pAdvanced) {
        OpenAdvancedSettings(*this);
    } else if (source == m_pCalibration) {
        // Calibration command.
        RunCalibration();
    } else if (source == m_pManuSetting) {
        ResetToFactory(*this);
    } else {
        // Not one of ours: the toolkit's own Cancel that Close produces ends the modal loop.
        event.Skip();
    }
}

int32_t CPMainFrame::WriteSettings() {
    if (!ReadRecord(GetDeviceConfig, m_deviceConfig)) return 0;
    SetTouchMode(m_deviceConfig, m_pMultiTouch->GetValue());
    return WriteRecord(SetDeviceConfig, m_deviceConfig) ? 1 : 0;
}
