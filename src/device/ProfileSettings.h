// The settings of a device profile alone, for copying one kiosk's settings to the others. A profile
// also holds what belongs to its own frame: the calibration (where that frame's glass meets its
// screen) and the stored display orientation (item 13, how that screen is mounted). Those are left
// out here, so the settings go to any device without --force.
#pragma once

#include <functional>

#include "device/DeviceProfile.h"
#include "servicelink/DeviceHandle.h"

namespace VexoSource {

enum class SettingsWriteResult {
    Done,
    ReadFailed,   // the device's own configuration could not be read: nothing was written
    WriteFailed,  // a write was not answered: what was written before stays, no reset
    ResetFailed,  // all written, ResetDevice not answered
};

// Reads the device's configuration first (GetDeviceConfig, whole), since only its two mode flags
// are a setting; the rest of that record stays the device's own. Then writes the pen simulation
// item (when the profile holds one), the configuration with the profile's two mode flags, the
// effects as the profile holds them, and ends with ResetDevice. Never SetCalibration, never item 13.
// report hears of every write and the reset, as WriteDeviceProfile's does.
SettingsWriteResult WriteProfileSettings(const DeviceHandle& device, const DeviceProfile& profile,
                                         const std::function<void(const ProfileStep&)>& report = {});

}  // namespace VexoSource
