// The main window's calibration command.
#include "app/CPMainFrame.h"
#include "config/LinearityStore.h"
#include "device/PendingRestore.h"
#include "dialogs/DlgCalib.h"
#include "foundation/VexoLog.h"
#include "gui/CommandLock.h"
#include "gui/MessageBox.h"
#include "gui/WxText.h"
#include "platform/ProcessLauncher.h"

namespace {
// Names this sequence in the lock log lines.
constexpr uint32_t kCalibrationPlace = 5;
}  // namespace

void CPMainFrame::RunCalibration() {
    DlgCalib* dialog = nullptr;
    {
        // Held across the modal dialog and its closing requests: the device watch pauses until
        // the calibration is over.
        CommandLock lock(*this, kCalibrationPlace);
        // The frame that is switched off is the one that gets its record back.
        const VexoSource::DeviceHandle device = Device();
        dialog = new DlgCalib(this, device);

        if (!lock.Owns()) {
            // Logged by the lock: without it the calibration's requests could meet the watch's.
        } else if (VexoSource::CheckLinearityData()) {
            // The operating system calibrates this device itself: offer its settings instead.
            const wxString question = LangText("LC_Present",
                                               u"Linear calibration already present,Please open and [reset] it,"
                                               u"Follow the guide to calibration setting?");
            if (VexoMessageBox(question, wxEmptyString, wxYES_NO) == wxYES && !VexoPlatform::OpenTabletSettings())
                VexoLogDebug(L"Tablet settings not available (%hs)", VexoPlatform::kTabletSettingsCommand);
        } else if (!VexoSource::RestorePending() || !CheckAccess(device, nullptr)) {
            // A frame whose earlier put-back is still pending would have its cleared record
            // saved as the one to put back: that record goes first.
            VexoMessageBox(LangText("Device_was_resetting", u"Device was resetting,Please try later"),
                           wxEmptyString, wxOK);
        } else if (dialog->Initialize()) {
            dialog->ShowModal();
            dialog->Release();
        } else if (dialog->CancelledByUser()) {
            // Left with Escape before anything was written: nothing to say.
        } else if (dialog->StreamUnreachable()) {
            // Not "could not be started" alone: the user needs to know what is missing.
            VexoMessageBox(LangText("Calibration_Stream_Unreachable",
                                    u"The touch stream of the touch service cannot be reached, so the calibration "
                                    u"cannot start."),
                           wxEmptyString, wxOK);
        } else {
            VexoMessageBox(LangText("Callibration_Initialization_Failed", u"none"), wxEmptyString, wxOK);
        }
    }
    dialog->Destroy();
}
