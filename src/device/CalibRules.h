// The arithmetic of the four-point calibration, free of any window: where the targets are, how
// screen and touch positions become record values (which touches are taps: TapJudge.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "servicelink/ServiceContract.h"

namespace VexoSource {

constexpr int32_t kCalibTargetCount = 4;
// Both the screen and the touch side of a point are stored on this scale.
constexpr int32_t kCalibScale = 32767;
// Distance of a target's anchor from its screen corner, and its cross and circle sizes.
constexpr int32_t kCalibAnchorInset = 40;
constexpr int32_t kCalibCrossLength = 50;
constexpr int32_t kCalibCircleRadius = 10;

struct CalibTarget {
    int32_t anchorX, anchorY;  // corner point the cross is drawn from
    int32_t signX, signY;      // +1 when the cross extends right / down from the anchor
    int32_t centreX, centreY;  // where the two lines cross
};

// Target `index` (0..3, in the order shown: top-left, bottom-left, bottom-right, top-right) on a
// screen of width x height pixels. An index outside 0..3 gives the top-left target.
CalibTarget CalibTargetAt(int32_t index, int32_t width, int32_t height);

// The record slot of target `index` (top-left 4, bottom-left 20, bottom-right 28, top-right 12).
CalibrationPoint& CalibSlot(CalibrationRecord& record, int32_t index);

// (centre / extent) x 32767, truncated, low 16 bits. A centre outside the screen is clamped to
// its edge and an empty extent gives 0, so the value never wraps.
uint16_t CalibScreenValue(int32_t centre, int32_t extent);

// A normalised touch position x 32767, truncated. The stream may carry values outside 0..1 (or
// not a number at all); they are clamped first so that they cannot wrap into a wrong coordinate.
uint16_t CalibTouchValue(float normalised);

}  // namespace VexoSource
