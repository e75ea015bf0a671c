// The main window's commands: every button, the two mode radio buttons and the device choice.
#include "app/CPMainFrame.h"

#include "device/FactoryReset.h"
#include "device/TouchMode.h"
#include "dialogs/DlgAdvSetting.h"
#include "foundation/VexoLog.h"
#include "gui/Accessible.h"
#include "gui/CommandLock.h"
#include "gui/MessageBox.h"
#include "gui/WxText.h"
#include "platform/ProcessLauncher.h"

using namespace VexoSource;

namespace {

// Name the holders of the request lock in the lock log lines.
constexpr uint32_t kAdvancedPlace = 4;
constexpr uint32_t kFactoryPlace = 7;

void OpenAdvancedSettings(CPMainFrame& frame) {
    DlgAdvSetting* dialog = nullptr;
    {
        // Held while the dialog is open: the device watch pauses, and the device choice waits.
        CommandLock lock(frame, kAdvancedPlace);
        const DeviceHandle device = frame.Device();
        dialog = new DlgAdvSetting(&frame, device);
        if (!lock.Owns()) {
            // Logged by the lock: without it the dialog's requests could meet the watch's.
        } else if (!frame.CheckAccess(device, nullptr)) {
            VexoMessageBox(LangText("Device_was_resetting", u"Device was resetting,Please try later"), wxEmptyString,
                           wxOK);
        } else if (dialog->Initialize()) {
            dialog->ShowModal();
        }
    }
    dialog->Destroy();
}

void FactoryResetCommand(CPMainFrame& frame) {
    // No is the default: Return alone must not overwrite the frame's settings with factory values.
    if (VexoMessageBox(LangText("Reset_Configuration", u"Reset to manufacturer setting?"), wxEmptyString,
                       wxYES_NO | wxNO_DEFAULT) != wxYES)
        return;
    CommandLock lock(frame, kFactoryPlace);
    if (!lock.Owns()) return;
    const DeviceHandle device = frame.Device();
    if (!frame.CheckAccess(device, nullptr)) return;
    ResetToFactory(device, frame.m_records);
}

// True when the window should close: only once the updater has been started and takes over. When
// it cannot start (it is missing, or not executable) the user is told and keeps the window: closing
// would look like an update under way when nothing runs.
bool RunUpdater() {
    if (VexoMessageBox(LangText("Run_Update",
                                u"Run the update application and quit current configuration application?"),
                       wxEmptyString, wxYES_NO) != wxYES)
        return false;
    if (VexoPlatform::StartUpdater()) return true;
    VexoLogException(L"The updater %hs could not be started", VexoPlatform::UpdaterPath().c_str());
    VexoMessageBox(LangText("Update_Not_Started", u"The update application could not be started."), wxEmptyString,
                   wxOK);
    return false;
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
        // Apply is disabled once the change is written: the keyboard would be left nowhere.
        ReturnFocus(m_pApply, m_pDone);
    } else if (source == m_pDone) {
        // A failed write keeps the window open: the user has been told and may try again.
        if (ApplyChanges()) Close(false);
    } else if (source == m_pMultiTouch || source == m_pMouse) {
        MarkModified();
    } else if (source == m_pUpdate) {
        if (RunUpdater())
            Close(false);
        else
            ReturnFocus(m_pUpdate, m_pDone);
    } else if (source == m_pDeviceChoice) {
        // GetValue: a combo box's label is not its selected text in this toolkit version.
        ChooseFromList(ToNarrow(FromWx(m_pDeviceChoice->GetValue())));
    } else if (source == m_pAdvanced) {
        OpenAdvancedSettings(*this);
        ReturnFocus(m_pAdvanced, m_pDone);
    } else if (source == m_pCalibration) {
        // Calibration command.
        RunCalibration();
        ReturnFocus(m_pCalibration, m_pDone);
    } else if (source == m_pManuSetting) {
        FactoryResetCommand(*this);
        ReturnFocus(m_pManuSetting, m_pDone);
    } else {
        // Not one of ours: the toolkit's own Cancel that Close produces ends the modal loop.
        event.Skip();
    }
}

int32_t CPMainFrame::WriteSettings(const DeviceHandle& device) {
    return WriteTouchMode(device, m_pMultiTouch->GetValue(), m_records.config) ? 1 : 0;
}
