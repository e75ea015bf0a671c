// The calibration's requests: save the record in force, switch the calibration off while the
// targets are shown, apply the new record, and put the saved one back on every way out but a
// confirmed new record. No display: the window draws the targets and takes the touches (the tap
// judge decides which count), and lends the session its way of letting time pass.
//
// Requests go out on the caller's thread; the caller serialises them (the window holds its request
// lock from the start until the session is over). Every request goes to the device the session was
// made for, whatever is chosen meanwhile: the put-back must reach the frame that was switched off.
#pragma once

#include <cstdint>
#include <functional>

#include "servicelink/DeviceHandle.h"
#include "servicelink/ServiceContract.h"

namespace VexoSource {

// What the session needs from whoever runs it.
struct CalibrationPace {
    // Lets ms of time pass; a window keeps its event loop running meanwhile (painting, Escape)
    // and may return early once the user is leaving.
    std::function<void(int ms)> wait;
    // True once the user asked to leave.
    std::function<bool()> leaving;
    // Lets ms pass whether or not the user is leaving (between the put-back's attempts); empty:
    // wait.
    std::function<void(int ms)> pause;
    // Told true when a put-back was not answered and is being tried again (the screen says that
    // the previous calibration is being restored), false when that is over. Optional.
    std::function<void(bool)> restoring;
};

// What a put-back of the saved record came to.
enum class RestoreResult {
    NothingToRestore,  // nothing was switched off, or the new record was kept
    Restored,          // SetCalibration with the saved record and ResetDevice were both answered
    NotRestored,       // still unanswered when kRestoreRetryMs ran out: the record stays pending
};

enum class CalibStartResult {
    Ready,            // switched off and the device back: the targets may take touches. Also when
                      // the user left while the device came back: the caller then ends as with
                      // Escape, which puts the saved record back.
    Cancelled,        // the user left after the saved record was read: nothing was written
    ReadFailed,       // the record in force could not be read whole: nothing was written
    SwitchOffFailed,  // the switch-off was not answered (it may be in force): RestoreSaved
    NoAccess,         // the device did not come back after its reset: RestoreSaved
};

enum class CalibApplyResult {
    Applied,      // the new record in force, the device back: ask the user, then Keep or RestoreSaved
    WriteFailed,  // the service did not answer the new record; the saved one was put back
    NoAccess,     // the device did not come back after its reset; the saved one was put back
                  // (RestorePending tells whether that put-back was answered)
};

class CalibrationSession {
public:
    // The device's reset takes about a second; a device that is not back after this many polls
    // (the first at once, then one per wait) counts as not coming back.
    static constexpr int kAccessPolls = 11;
    static constexpr int kAccessPollMs = 500;
    // Time for the re-initialised frame to settle before the first target turns red.
    static constexpr int kSettleMs = 2000;
    // A put-back that is not answered is tried again, with a fresh connection when the old one
    // ended, for this long: a service that restarts (a crash, an upgrade) answers again within a
    // few seconds, and a hanging one costs each attempt its 3 s reply bound.
    static constexpr uint32_t kRestoreRetryMs = 15000;
    static constexpr int kRestorePauseMs = 200;

    CalibrationSession(DeviceHandle device, CalibrationPace pace);

    // GetCalibration read whole into the saved record; the user leaving now costs nothing. Then
    // SetCalibration with a cleared record (enabled 0, every point 0) so that the touches arrive
    // raw, ResetDevice (its answer not looked at), GetAccessState until the device is back, and
    // the settle wait (skipped when the user is leaving). Failed requests log "Get response
    // failed! ".
    CalibStartResult Start();

    // SetCalibration with `record` switched on (enabled 1), ResetDevice, GetAccessState until
    // the device is back. A new record that nobody could confirm must not stay: on failure the
    // saved record is put back before returning.
    CalibApplyResult Apply(CalibrationRecord record);

    // The user kept the new record: nothing is put back any more.
    void Keep();

    // SetCalibration with the saved record and ResetDevice, when the calibration was switched
    // off (or a new record applied) and not kept; otherwise nothing. Restored only when both were
    // answered; until then it tries again (see kRestoreRetryMs) through the pace's wait, whatever
    // the user does meanwhile. NotRestored leaves the record pending: a later call tries again.
    RestoreResult RestoreSaved();

    // True from the switch-off until a put-back was answered or the new record was kept.
    bool MustPutBack() const { return mustPutBack_; }
    const CalibrationRecord& Saved() const { return saved_; }

private:
    bool WaitForAccess();
    bool TryRestore();
    void Wait(int ms);
    bool Leaving();

    const DeviceHandle device_;
    CalibrationPace pace_;
    CalibrationRecord saved_{};
    bool mustPutBack_ = false;
};

}  // namespace VexoSource
