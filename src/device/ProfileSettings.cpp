#include "device/ProfileSettings.h"

#include <cstring>

#include "device/DeviceRequests.h"
#include "foundation/VexoLog.h"

namespace VexoSource {

SettingsWriteResult WriteProfileSettings(const DeviceHandle& device, const DeviceProfile& profile,
                                         const std::function<void(const ProfileStep&)>& report) {
    DeviceConfigRecord config{};
    if (!ReadWhole(device, GetDeviceConfig, config)) {
        VexoLogException(L"Get response failed! ");
        return SettingsWriteResult::ReadFailed;
    }
    config.mouseMode = profile.config.mouseMode;
    config.multiTouchMode = profile.config.multiTouchMode;

    auto step = [&](const char* what, const char* request, uint32_t itemId, bool ok) {
        if (report) report(ProfileStep{what, request, itemId, ok});
        if (!ok) VexoLogException(L"Writing %hs failed (%hs)", what, request);
        return ok;
    };
    const auto pen = profile.items.find(kPenItemId);
    if (pen != profile.items.end() &&
        !step("pen simulation item", "SetMultiConfig", kPenItemId, WriteWhole(device, SetMultiConfig, pen->second)))
        return SettingsWriteResult::WriteFailed;
    if (!step("touch mode", "SetDeviceConfig", 0, WriteWhole(device, SetDeviceConfig, config)) ||
        !step("effects", "SetEffects", 0, WriteWhole(device, SetEffects, profile.effects)))
        return SettingsWriteResult::WriteFailed;
    const bool reset = RequestDeviceReset(device);
    if (report) report(ProfileStep{"device reset", "ResetDevice", 0, reset});
    return reset ? SettingsWriteResult::Done : SettingsWriteResult::ResetFailed;
}

bool CompareProfileSettings(const DeviceHandle& device, const DeviceProfile& profile, ProfileSettingsComparison& out) {
    if (!ReadWhole(device, GetDeviceConfig, out.config) || !ReadWhole(device, GetEffects, out.effects) ||
        !ReadMultiConfigItem(device, kPenItemId, out.penItem)) {
        VexoLogException(L"Get response failed! ");
        return false;
    }
    out.penStored = out.penItem.Stored();
    out.modeDiffers = out.config.mouseMode != profile.config.mouseMode ||
                      out.config.multiTouchMode != profile.config.multiTouchMode;
    out.effectsDiffer = std::memcmp(&out.effects, &profile.effects, sizeof out.effects) != 0;
    const auto pen = profile.items.find(kPenItemId);
    out.penDiffers = pen != profile.items.end() &&
                     (!out.penStored || std::memcmp(&out.penItem, &pen->second, sizeof out.penItem) != 0);
    return true;
}

}  // namespace VexoSource
