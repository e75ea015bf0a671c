#include "device/CalibRules.h"

#include <cstring>

namespace VexoSource {

namespace {

// Truncation toward zero of a value already inside 0..32767, so the conversion is defined.
uint16_t ScaleUnit(double unit) {
    if (!(unit > 0.0)) return 0;  // also catches NaN
    if (unit > 1.0) unit = 1.0;
    return static_cast<uint16_t>(static_cast<int32_t>(unit * kCalibScale) & 0xFFFF);
}

}  // namespace

CalibTarget CalibTargetAt(int32_t index, int32_t width, int32_t height) {
    const bool right = index == 2 || index == 3;
    const bool bottom = index == 1 || index == 2;
    CalibTarget t{};
    t.signX = right ? -1 : 1;
    t.signY = bottom ? -1 : 1;
    t.anchorX = right ? width - kCalibAnchorInset : kCalibAnchorInset;
    t.anchorY = bottom ? height - kCalibAnchorInset : kCalibAnchorInset;
    t.centreX = t.anchorX + t.signX * (kCalibCrossLength / 2);
    t.centreY = t.anchorY + t.signY * (kCalibCrossLength / 2);
    return t;
}

CalibrationPoint& CalibSlot(CalibrationRecord& record, int32_t index) {
    switch (index) {
        case 1: return record.bottomLeft;
        case 2: return record.bottomRight;
        case 3: return record.topRight;
        default: return record.topLeft;
    }
}

uint16_t CalibScreenValue(int32_t centre, int32_t extent) {
    if (extent <= 0) return 0;
    return ScaleUnit(static_cast<double>(centre) / static_cast<double>(extent));
}

uint16_t CalibTouchValue(float normalised) { return ScaleUnit(static_cast<double>(normalised)); }

}  // namespace VexoSource
