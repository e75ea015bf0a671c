// The main window's device watch: a pass about every three seconds on the window's own thread.
#include "app/CPMainFrame.h"

#include <memory>

#include "device/DeviceRequests.h"
#include "device/MainFrameRules.h"
#include "device/PendingRestore.h"
#include "foundation/VexoLog.h"
#include "gui/WxText.h"
#include "platform/DisplayOrientation.h"
#include "platform/PlatformTime.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;

void CPMainFrame::Run() {
    bool firstPass = true;
    uint32_t passStart = 0;
    while (!StopRequested()) {
        const uint32_t wait = WatchWaitMs(VexoPlatform::GetTickCount(), passStart, firstPass);
        if (wait > 0) {
            // Wakes at once on a stop request; the loop re-reads the clock after every wake.
            SleepFor(wait);
            continue;
        }
        firstPass = false;
        passStart = VexoPlatform::GetTickCount();

        int32_t result = 0;
        bool yielded = false;
        {
            // Cleared once the lock below is released (members go in reverse order).
            WorkerHoldMark mark{m_workerHolds};
            std::unique_ptr<RequestLock> lock;
            const WatchLockWait waited = AwaitWatchLock(lock);
            if (waited == WatchLockWait::Stopped) break;
            if (waited == WatchLockWait::DeviceLost || waited == WatchLockWait::ServiceGone) {
                ReportLoss(waited == WatchLockWait::ServiceGone);
                break;
            }
            // Logged by the lock; the pass is skipped, which is no device loss.
            if (!lock->Owns()) continue;
            // The whole pass addresses one device: the orientation read and write and the reset
            // may be a second apart (a slow display server), and the choice waits for the pass.
            const DeviceHandle device = ChosenDevice();
            // A calibration that could not be put back: written as soon as the service answers.
            if (RestorePendingExists()) RestorePending();
            int32_t answered = 0;
            if (CheckAccess(device, &answered)) {
                // A command that asks for the lock goes next: the pass ends between its steps
                // (each a whole sequence) and the next pass reads again.
                yielded = CommandWaiting();
                if (!yielded) WatchOrientation(device);
                yielded = yielded || CommandWaiting();
                if (!yielded) result = ReadDeviceList(device);
                yielded = yielded || CommandWaiting();
                if (result && !yielded) result = ReadDeviceState(device);
            } else {
                result = answered;
            }
            if (yielded) {
                VexoLogDebug(L"Watch pass ended early: a command waits for the lock");
                result = 1;
            } else if (!result) {
                CheckAccess(device, &result);
            }
        }
        // The connection itself is gone (the service stopped or restarts): that is no lost device
        // yet. A service that is back within a few seconds is simply used again.
        const bool serviceGone = !result && !StopRequested() && !ServiceChannelConnected();
        if (serviceGone) result = AwaitServiceReturn();
        // A stop requested while the pass ran (the window is closing) is no device loss.
        if (StopRequested()) break;
        if (result) {
            // An interrupted pass read only in part: nothing to show.
            if (!yielded) PostRefresh();
            SleepFor(kWatchAfterRefreshMs);
            continue;
        }
        ReportLoss(serviceGone);
        break;
    }
}

void CPMainFrame::ReportLoss(bool serviceGone) {
    // The language table is not shared with workers: the text is looked up on the GUI thread.
    if (serviceGone) {
        // The frame is not to blame: say that the service stopped, as start-up does.
        CallAfter([this] {
            ReportDeviceLost(LangText("Service_RPC_Not_Created",
                                      u"The touch service does not answer. Please start it and try again."),
                             wxEmptyString, true);
        });
    } else {
        CallAfter([this] {
            ReportDeviceLost(LangText("Device_Undetected", u"Device undetected,Please insert device!"), wxEmptyString,
                             true);
        });
    }
}

CPMainFrame::WatchLockWait CPMainFrame::AwaitWatchLock(std::unique_ptr<RequestLock>& lock) {
    const uint32_t start = VexoPlatform::GetTickCount();
    uint32_t lastProbe = start;
    bool down = false;
    uint32_t downSince = 0, lastReconnect = 0;
    for (;;) {
        m_workerHolds = true;
        lock = std::make_unique<RequestLock>(m_requestLock, kWatchPlace, RequestLock::TryTag());
        if (lock->Owns()) return WatchLockWait::Taken;
        lock.reset();
        m_workerHolds = false;
        if (StopRequested()) return WatchLockWait::Stopped;
        // A command holds the lock: a dialog may stay open over the window for as long as the user
        // likes, and the service may go meanwhile. Its loss must end the dialog too, so the watch
        // keeps asking whether it is there; no request of its own changes anything, and the
        // channel sends one call at a time, so none of them can upset the dialog's sequences.
        const uint32_t now = VexoPlatform::GetTickCount();
        if (!ServiceChannelConnected()) {
            if (!down) {
                down = true;
                downSince = lastReconnect = now;
                VexoLogInfo(L"Connection to the touch service lost while a command runs");
            } else if (now - downSince >= kServiceReturnMs) {
                return WatchLockWait::ServiceGone;
            } else if (now - lastReconnect >= kServiceRetryMs) {
                lastReconnect = now;
                ReconnectServiceChannel();
            }
        } else if (down) {
            down = false;
        } else if (now - lastProbe > kWatchPassMs) {
            lastProbe = now;
            // The device the command addresses: the choice waits for it to end.
            const DeviceHandle device = ChosenDevice();
            int32_t answered = 0;
            CheckAccess(device, &answered);
            if (!answered && !StopRequested() && ServiceChannelConnected()) CheckAccess(device, &answered);
            if (StopRequested()) return WatchLockWait::Stopped;
            if (!answered && ServiceChannelConnected()) return WatchLockWait::DeviceLost;
        }
        if (!SleepFor(kWatchLockPollMs)) return WatchLockWait::Stopped;
    }
}

int32_t CPMainFrame::AwaitServiceReturn() {
    VexoLogInfo(L"Connection to the touch service lost: connecting again for up to %u ms", kServiceReturnMs);
    const uint32_t start = VexoPlatform::GetTickCount();
    for (;;) {
        {
            // Each attempt under the window's lock, as any pass: no command's request may go out
            // on a connection while it is replaced. Between attempts the commands may run.
            RequestLock lock(m_requestLock, kWatchPlace);
            if (lock.Owns() && ReconnectServiceChannel()) {
                int32_t answered = 0;
                CheckAccess(ChosenDevice(), &answered);
                if (answered) {
                    VexoLogInfo(L"The touch service answers again");
                    return 1;
                }
            }
        }
        if (VexoPlatform::GetTickCount() - start >= kServiceReturnMs) break;
        if (!SleepFor(kServiceRetryMs)) return 0;  // the window is closing
    }
    VexoLogException(L"The touch service did not come back within %u ms", kServiceReturnMs);
    return 0;
}

void CPMainFrame::WatchOrientation(const DeviceHandle& device) {
    const uint32_t now = VexoPlatform::GetTickCount();
    if (!OrientationCheckDue(now, m_lastOrientationCheck, m_orientationNeverChecked)) return;
    m_orientationNeverChecked = false;
    m_lastOrientationCheck = now;

    // Its mark and its further data are trusted and written back: only a whole reply counts. A
    // record of its own: no other item's bytes can go out as this one's.
    MultiConfigRecord record{};
    if (!ReadMultiConfigItem(device, kOrientationItem, record)) return;

    // A display server that cannot be asked says nothing about the screen: the stored orientation
    // stays, rather than an upright 0 being written over it and the device re-initialised. Said
    // once, then asked again quietly every check until it answers. Read from the display the
    // window is on now: the one the user calibrates, whichever is the primary or first output.
    AskFrameDisplay();
    const VexoPlatform::OrientationReading reading = VexoPlatform::ReadDisplayOrientation();
    if (!reading.ok) {
        if (!m_orientationFailureLogged)
            VexoLogException(L"Display orientation cannot be read (%hs); the device keeps its orientation",
                             reading.failure);
        m_orientationFailureLogged = true;
        return;
    }
    if (m_orientationFailureLogged) VexoLogInfo(L"Display orientation readable again");
    m_orientationFailureLogged = false;
    if (reading.output != m_orientationOutput) {
        m_orientationOutput = reading.output;
        if (!reading.output.empty())
            VexoLogInfo(L"Display orientation read from output %hs, the display the window is on", reading.output);
    }
    const uint32_t orientation = reading.orientation;
    MultiConfigRecord out{};
    const OrientationAction action = PlanOrientation(record, orientation, out);
    if (action != OrientationAction::None) {
        record = out;
        WriteWhole(device, SetMultiConfig, record);
    }
    VexoLogDebug(L"Current orig %u", orientation);
    if (action != OrientationAction::None) {
        VexoLogDebug(L"Reset device for either screen solution or display orientation");
        RequestDeviceReset(device);
    }
}
