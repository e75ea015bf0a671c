// Saved calibration records that their frames have not taken back yet: a calibration's put-back
// that the service never answered leaves the frame with the cleared (or an unconfirmed) record,
// so the saved one is kept here and written as soon as the service answers again (the main
// window's next watch pass, the next calibration, the program's end).
#pragma once

#include "servicelink/DeviceHandle.h"
#include "servicelink/ServiceContract.h"

namespace VexoSource {

// Keeps record for device, replacing one kept for it before. Any thread.
void KeepPendingRestore(const DeviceHandle& device, const CalibrationRecord& record);

// Writes each kept record (SetCalibration, then ResetDevice) and forgets those that were both
// answered. True when none is left. The caller serialises requests (it holds the request lock).
bool RestorePending();

// True while a record waits to be written.
bool RestorePendingExists();

}  // namespace VexoSource
