#include "device/FactoryReset.h"

#include "device/AdvSettingRules.h"
#include "device/DeviceRequests.h"
#include "device/FactoryRules.h"
#include "foundation/VexoLog.h"

namespace VexoSource {

FactoryResetResult ResetToFactory(const DeviceHandle& device, FactoryRecords& working) {
    if (!ReadWhole(device, GetDeviceConfig, working.config) || !ReadWhole(device, GetEffects, working.effects) ||
        !ReadWhole(device, GetCalibration, working.calibration)) {
        VexoLogException(L"Get response failed! ");
        return FactoryResetResult::ReadFailed;
    }
    ApplyFactoryDeviceConfig(working.config);
    ApplyFactoryEffects(working.effects);
    ApplyFactoryCalibration(working.calibration);

    // Pen simulation off.
    MultiConfigRecord penItem{};
    FillPenItem(penItem, 0);
    WriteWhole(device, SetMultiConfig, penItem);

    if (!WriteWhole(device, SetDeviceConfig, working.config) || !WriteWhole(device, SetEffects, working.effects) ||
        !WriteWhole(device, SetCalibration, working.calibration)) {
        VexoLogException(L"Get response failed! ");
        return FactoryResetResult::WriteFailed;
    }
    return RequestDeviceReset(device) ? FactoryResetResult::Done : FactoryResetResult::ResetFailed;
}

}  // namespace VexoSource
