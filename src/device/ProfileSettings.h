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

// What WriteProfileSettings would change on the chosen device, read without writing anything, so
// that a fleet's tools write (and reset) only the frames that differ.
struct ProfileSettingsComparison {
    DeviceConfigRecord config{};  // the device's, as read
    EffectsRecord effects{};
    MultiConfigRecord penItem{};
    bool penStored = false;  // the device holds item 2 (with its mark)
    bool modeDiffers = false;
    bool effectsDiffer = false;  // any byte of the record
    bool penDiffers = false;     // only when the profile holds item 2: any byte of the item
    bool Differs() const { return modeDiffers || effectsDiffer || penDiffers; }
};

// GetDeviceConfig, GetEffects (both whole) and GetMultiConfig of item 2; false (logged "Get
// response failed! ") when one of them is not answered whole, since a guess would either write
// for nothing or leave a difference in place. An item 2 that the service does not hold differs
// from one that the profile holds.
bool CompareProfileSettings(const DeviceHandle& device, const DeviceProfile& profile, ProfileSettingsComparison& out);

}  // namespace VexoSource
