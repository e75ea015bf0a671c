#include "device/FactoryReset.h"

#include "device/AdvSettingRules.h"
#include "device/DeviceRequests.h"
#include "device/FactoryRules.h"
#include "foundation/VexoLog.h"

namespace VexoSource {

FactoryResetResult ResetToFactory(FactoryRecords& working) {
    if (!ReadWhole(GetDeviceConfig, working.config) || !ReadWhole(GetEffects, working.effects) ||
        !ReadWhole(GetCalibration, working.calibration)) {
        VexoLogException(L"Get response failed! ");
        return FactoryResetResult::ReadFailed;
    }
    ApplyFactoryDeviceConfig(working.config);
    ApplyFactoryEffects(working.effects);
    ApplyFactoryCalibration(working.calibration);

    // Pen simulation off.
    MultiConfigRecord penItem{};
    FillPenItem(penItem, 0);
    WriteWhole(SetMultiConfig, penItem);

    if (!WriteWhole(SetDeviceConfig, working.config) || !WriteWhole(SetEffects, working.effects) ||
        !WriteWhole(SetCalibration, working.calibration)) {
        VexoLogException(L"Get response failed! ");
        return FactoryResetResult::WriteFailed;
    }
    return RequestDeviceReset() ? FactoryResetResult::Done : FactoryResetResult::ResetFailed;
}

}  // namespace VexoSource
