#include "device/CalibrationSession.h"

#include <utility>

#include "device/AccessWait.h"
#include "device/DeviceRequests.h"
#include "foundation/VexoLog.h"
#include "platform/MonotonicClock.h"
#include "servicelink/VexoRPC.h"

namespace VexoSource {

namespace {

bool SendCalibration(const DeviceHandle& device, const CalibrationRecord& record) {
    if (WriteWhole(device, SetCalibration, record)) return true;
    VexoLogException(L"Get response failed! ");
    return false;
}

}  // namespace

CalibrationSession::CalibrationSession(DeviceHandle device, CalibrationPace pace)
    : device_(device), pace_(std::move(pace)) {}

void CalibrationSession::Wait(int ms) {
    if (pace_.wait) pace_.wait(ms);
}

bool CalibrationSession::Leaving() { return pace_.leaving && pace_.leaving(); }

CalibStartResult CalibrationSession::Start() {
    // A short reply would be put back later as a half-stale record: it counts as none.
    if (!ReadWhole(device_, GetCalibration, saved_)) {
        VexoLogException(L"Get response failed! ");
        return CalibStartResult::ReadFailed;
    }
    if (Leaving()) return CalibStartResult::Cancelled;

    // From here on the service's calibration may be off: every way out but a kept new record
    // puts the saved one back.
    mustPutBack_ = true;
    if (!SendCalibration(device_, CalibrationRecord{})) return CalibStartResult::SwitchOffFailed;
    RequestDeviceReset(device_);
    if (!WaitForAccess()) return CalibStartResult::NoAccess;
    if (!Leaving()) Wait(kSettleMs);
    return CalibStartResult::Ready;
}

CalibApplyResult CalibrationSession::Apply(CalibrationRecord record) {
    record.enabled = 1;
    if (!SendCalibration(device_, record)) {
        // The new record may or may not be in force: asking to keep it would confirm nothing.
        RestoreSaved();
        return CalibApplyResult::WriteFailed;
    }
    RequestDeviceReset(device_);
    if (!WaitForAccess()) {
        // Nobody could confirm the new record: it must not stay in force.
        VexoLogException(L"Calibration: the device did not come back after the reset; restoring");
        RestoreSaved();
        return CalibApplyResult::NoAccess;
    }
    return CalibApplyResult::Applied;
}

void CalibrationSession::Keep() { mustPutBack_ = false; }

bool CalibrationSession::TryRestore() {
    // Both must be answered: the record alone is not in force until the device is re-initialised.
    return SendCalibration(device_, saved_) && RequestDeviceReset(device_);
}

RestoreResult CalibrationSession::RestoreSaved() {
    if (!mustPutBack_) return RestoreResult::NothingToRestore;
    if (!TryRestore()) {
        VexoLogException(L"Calibration: the saved record was not taken; trying again for up to %u ms",
                         kRestoreRetryMs);
        if (pace_.restoring) pace_.restoring(true);
        const uint64_t deadline = VexoPlatform::NowMs() + kRestoreRetryMs;
        bool restored = false;
        while (!restored && VexoPlatform::RemainingMs(deadline) > 0) {
            // Even when the user is leaving: the frame must get its record back.
            if (pace_.pause) pace_.pause(kRestorePauseMs);
            else Wait(kRestorePauseMs);
            // The service went away (its connection ended): a restarted one takes a new connection.
            if (!ServiceChannelConnected() && !ReconnectServiceChannel()) continue;
            restored = TryRestore();
        }
        if (pace_.restoring) pace_.restoring(false);
        if (!restored) {
            VexoLogException(L"Calibration: the saved record could not be put back; it stays pending");
            return RestoreResult::NotRestored;
        }
    }
    VexoLogInfo(L"Calibration: the saved record is back in force");
    mustPutBack_ = false;
    return RestoreResult::Restored;
}

bool CalibrationSession::WaitForAccess() {
    AccessWait wait;
    wait.maxAsks = kAccessPolls + 1;  // the first at once, then one per wait
    wait.pollMs = kAccessPollMs;
    wait.sleep = [this](uint32_t ms) { Wait(int(ms)); };
    wait.stop = [this] { return Leaving(); };
    if (VexoSource::WaitForAccess(device_, wait) == AccessState::Ready) return true;
    // The user is leaving: the saved record goes back whatever the device says now.
    return Leaving();
}

}  // namespace VexoSource
