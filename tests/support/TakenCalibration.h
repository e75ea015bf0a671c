// A calibration record as the window takes it: the target centres on a screen of width x height
// pixels, and the touch side that touch(index, screenX, screenY) gives for each target.
#pragma once

#include <cstdint>

#include "device/CalibRules.h"
#include "servicelink/ServiceContract.h"

template <typename Touch>
VexoSource::CalibrationRecord TakenCalibration(int32_t width, int32_t height, Touch touch) {
    using namespace VexoSource;
    CalibrationRecord record{};
    record.enabled = 1;
    for (int32_t k = 0; k < kCalibTargetCount; ++k) {
        const CalibTarget t = CalibTargetAt(k, width, height);
        CalibrationPoint& slot = CalibSlot(record, k);
        slot.screenX = CalibScreenValue(t.centreX, width);
        slot.screenY = CalibScreenValue(t.centreY, height);
        touch(k, slot);
    }
    return record;
}
