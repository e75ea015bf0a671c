// The reset to manufacturer settings.
#pragma once

#include "servicelink/ServiceContract.h"
#include "servicelink/DeviceHandle.h"

namespace VexoSource {

// The working copies of the reset (the main window keeps them as members).
struct FactoryRecords {
    DeviceConfigRecord config{};
    EffectsRecord effects{};
    CalibrationRecord calibration{};
};

enum class FactoryResetResult {
    Done,          // everything written and the device reset
    ReadFailed,    // a read failed: nothing was written
    WriteFailed,   // a write failed: what was written before it stays, no reset
    ResetFailed,   // everything written, but ResetDevice was not answered
};

// Reads the device configuration, effects and calibration (stopping at the first that fails),
// writes the manufacturer values over them, switches pen simulation off (item 2, whose answer does
// not stop the reset), writes the three records back (stopping at the first failure) and resets
// the device. Failed requests log "Get response failed! ". The access check is the caller's.
//
// The pen item is built afresh (zeros behind its flag): a buffer that held another item would
// send that item's bytes to the device as item 2's, and every later export would carry them.
FactoryResetResult ResetToFactory(const DeviceHandle& device, FactoryRecords& working);

}  // namespace VexoSource
