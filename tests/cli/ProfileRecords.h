// Device records that differ in every field and still hold values the program would write itself,
// for scenarios that move a profile from one device to another: an import refuses values no face
// of the program writes (a click range of NaN, both mode flags off, a calibration on one spot).
#pragma once

#include <cstring>

#include "servicelink/ServiceContract.h"
#include "support/TakenCalibration.h"

namespace clitest {

// fill picks the device's own values; the fields no check reads keep fill as every byte.
inline void FillPlausibleRecords(VexoSource::DeviceConfigRecord& config, VexoSource::EffectsRecord& effects,
                                 VexoSource::CalibrationRecord& calibration, uint8_t fill) {
    using namespace VexoSource;
    std::memset(&config, fill, sizeof config);
    config.mouseMode = fill & 1;
    config.multiTouchMode = (fill & 1) ^ 1;
    std::memset(&effects, fill + 1, sizeof effects);
    effects.rightClick = fill & 1;
    effects.msRClickDelay = 800 + fill * 7u;  // not a whole slider step
    effects.msDClickDelay = 300 + fill;
    effects.msRDClickRange = 0.1f + 0.1f * float(fill % 4);
    effects.smoothValue = fill % 7;
    calibration = TakenCalibration(1920, 1080, [fill](int32_t k, CalibrationPoint& p) {
        p.touchX = uint16_t(p.screenX + fill * 3 + k);
        p.touchY = uint16_t(p.screenY + fill * 5 + k);
    });
}

}  // namespace clitest
