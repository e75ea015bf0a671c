// Manufacturer values and the touch-mode flags of the main window's records. Pure: no wx, no I/O.
#pragma once

#include "servicelink/ServiceContract.h"

namespace VexoSource {

// Bit patterns of the f32 fields whose exact values the service compares.
constexpr uint32_t kFactoryEffects12Bits = 0x3D4CCCCDu;  // 0.05
constexpr uint32_t kFactoryEffects24Bits = 0x3E99999Au;  // 0.3

// The four effects fields that no dialog shows; every write of the effects record forces them.
void ForceHiddenEffects(EffectsRecord& effects);

// Manufacturer values written over a record read from the service. Fields not named by the
// factory table (device configuration bytes 5 and 6, the calibration points) keep what was read.
// The mode flags keep the read values unless both are 0: a frame with no mode at all would not
// answer touches, so multi-touch becomes 1.
void ApplyFactoryDeviceConfig(DeviceConfigRecord& config);
void ApplyFactoryEffects(EffectsRecord& effects);
void ApplyFactoryCalibration(CalibrationRecord& calibration);

// Exactly one of the two mode flags is 1 after this.
void SetTouchMode(DeviceConfigRecord& config, bool multiTouch);

}  // namespace VexoSource
