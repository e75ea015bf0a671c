// The reset to manufacturer settings.
#pragma once

#include "servicelink/ServiceContract.h"

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
// writes the manufacturer values over them, switches pen simulation off (item 2 built in penItem,
// whose answer does not stop the reset), writes the three records back (stopping at the first
// failure) and resets the device. Failed requests log "Get response failed! ". The access check
// is the caller's.
//
// penItem keeps what it held beyond the item's head and first data word: the window passes its
// shared multi-config buffer, as it always has; a caller without one passes a cleared record.
FactoryResetResult ResetToFactory(FactoryRecords& working, MultiConfigRecord& penItem);

}  // namespace VexoSource
