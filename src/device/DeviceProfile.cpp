#include "device/DeviceProfile.h"

#include "device/DeviceRequests.h"
#include "foundation/VexoLog.h"

namespace VexoSource {

bool IsProfileItem(uint32_t itemId) {
    for (uint32_t known : kProfileItems)
        if (known == itemId) return true;
    return false;
}

bool ReadDeviceProfile(const DeviceHandle& device, DeviceProfile& profile) {
    profile.items.clear();
    bool ok = ReadWhole(device, GetDeviceConfig, profile.config) && ReadWhole(device, GetEffects, profile.effects) &&
              ReadWhole(device, GetCalibration, profile.calibration);
    for (uint32_t id : kProfileItems) {
        if (!ok) break;
        MultiConfigRecord item;
        ok = ReadMultiConfigItem(device, id, item);
        // An item the device does not hold comes back without the mark: nothing to keep.
        if (ok && item.mark == kMultiConfigMark && item.itemId == id) profile.items[id] = item;
    }
    if (!ok) VexoLogException(L"Get response failed! ");
    return ok;
}

ProfileWriteResult WriteDeviceProfile(const DeviceHandle& device, const DeviceProfile& profile,
                                      const std::function<void(const ProfileStep&)>& report) {
    auto step = [&](const char* what, const char* request, uint32_t itemId, bool ok) {
        if (report) report(ProfileStep{what, request, itemId, ok});
        // Not a sequence of the windows: the log names the write that failed.
        if (!ok) VexoLogException(L"Writing %hs failed (%hs)", what, request);
        return ok;
    };
    for (const auto& entry : profile.items) {
        const char* what = entry.first == kPenItemId ? "pen simulation item" : "display orientation item";
        if (!step(what, "SetMultiConfig", entry.first, WriteWhole(device, SetMultiConfig, entry.second)))
            return ProfileWriteResult::WriteFailed;
    }
    if (!step("device configuration", "SetDeviceConfig", 0, WriteWhole(device, SetDeviceConfig, profile.config)) ||
        !step("effects", "SetEffects", 0, WriteWhole(device, SetEffects, profile.effects)) ||
        !step("calibration", "SetCalibration", 0, WriteWhole(device, SetCalibration, profile.calibration)))
        return ProfileWriteResult::WriteFailed;
    const bool reset = RequestDeviceReset(device);
    if (report) report(ProfileStep{"device reset", "ResetDevice", 0, reset});
    return reset ? ProfileWriteResult::Done : ProfileWriteResult::ResetFailed;
}

}  // namespace VexoSource
