// The record a careful calibration makes on a simulated frame with the given mounting: each
// target touched at its centre, on a display of width x height pixels.
#pragma once

#include "device/CalibRules.h"
#include "touchsim/FrameMounting.h"

namespace testsupport {

inline VexoSource::CalibrationRecord ExactCalibration(const touchsim::FrameMounting& m, int32_t width,
                                                      int32_t height) {
    using namespace VexoSource;
    CalibrationRecord r{};
    r.enabled = 1;
    for (int32_t k = 0; k < kCalibTargetCount; ++k) {
        const CalibTarget t = CalibTargetAt(k, width, height);
        const touchsim::StreamPosition raw =
            touchsim::RawFromDisplay(m, double(t.centreX) / width, double(t.centreY) / height);
        CalibrationPoint& p = CalibSlot(r, k);
        p.touchX = CalibTouchValue(float(raw.x));
        p.touchY = CalibTouchValue(float(raw.y));
        p.screenX = CalibScreenValue(t.centreX, width);
        p.screenY = CalibScreenValue(t.centreY, height);
    }
    return r;
}

}  // namespace testsupport
