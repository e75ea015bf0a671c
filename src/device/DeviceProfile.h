// A device profile: every record of a device that the program knows, read from one device and
// written to one (the same or another), for back-ups and for setting up many frames alike.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "servicelink/ServiceContract.h"
#include "servicelink/DeviceHandle.h"

namespace VexoSource {

// The multi-configuration items the program knows: pen simulation (2) and the stored display
// orientation (13).
constexpr uint32_t kProfileItems[] = {kPenItemId, kOrientationItem};
bool IsProfileItem(uint32_t itemId);

struct DeviceProfile {
    std::string device;  // identifier of the device it was read from
    DeviceConfigRecord config{};
    EffectsRecord effects{};
    CalibrationRecord calibration{};
    // Known items that the device holds (with the mark), by item id; items it does not hold are
    // left out and not written back.
    std::map<uint32_t, MultiConfigRecord> items;
};

// Reads the device configuration, effects, calibration and the known items of the chosen device
// into profile (device is the caller's). Every read must be whole; false at the first that is
// not (logged "Get response failed! "): a profile with a missing record must not be written.
bool ReadDeviceProfile(const DeviceHandle& device, DeviceProfile& profile);

// One write of an import, for the report: what it wrote and whether the service answered.
struct ProfileStep {
    const char* what;     // "pen simulation item", "device configuration", ...
    const char* request;  // "SetMultiConfig", ...
    uint32_t itemId;      // for SetMultiConfig, else 0
    bool ok;
};

enum class ProfileWriteResult { Done, WriteFailed, ResetFailed };

// Writes a profile in the order of the reset to manufacturer settings: the known items (by id),
// SetDeviceConfig, SetEffects, SetCalibration, then ResetDevice. Stops at the first write that is
// not answered (logged "Writing <what> failed (<request>)"); what was written stays, the device is
// then not reset. report (optional) hears of every step, the reset included (request "ResetDevice").
ProfileWriteResult WriteDeviceProfile(const DeviceHandle& device, const DeviceProfile& profile,
                                      const std::function<void(const ProfileStep&)>& report = {});

}  // namespace VexoSource
