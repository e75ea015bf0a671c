#include "device/ProfileValidation.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "device/AdvSettingRules.h"
#include "device/CalibRules.h"
#include "device/MainFrameRules.h"
#include "device/TapJudge.h"
#include "foundation/PrintableText.h"

namespace VexoSource {

namespace {

bool Fails(std::string& problem, const char* record, const std::string& reason) {
    problem = std::string(record) + ": " + reason;
    return false;
}

std::string Range(SliderRange range, int32_t scale) {
    return std::to_string(range.minimum * scale) + " to " + std::to_string(range.maximum * scale);
}

bool CheckConfig(const DeviceConfigRecord& config, std::string& problem) {
    // The faces always write exactly one flag as 1: with none the frame answers no touch, with
    // both it is in no mode the program knows.
    const uint32_t mouse = config.mouseMode, multi = config.multiTouchMode;
    if (!((mouse == 1 && multi == 0) || (mouse == 0 && multi == 1)))
        return Fails(problem, "records.device_config",
                     "the mode flags are " + std::to_string(mouse) + " (mouse) and " + std::to_string(multi) +
                         " (multi-touch); exactly one of them must be 1 and the other 0");
    return true;
}

bool CheckEffects(const EffectsRecord& effects, std::string& problem) {
    const char* record = "records.effects";
    const uint32_t rightClick = effects.rightClick;
    if (rightClick > 1)
        return Fails(problem, record, "right-click simulation is " + std::to_string(rightClick) + ", not 0 or 1");
    const uint32_t rDelay = effects.msRClickDelay;
    if (rDelay < PositionToRClickDelay(kRClickDelaySlider.minimum) || rDelay > PositionToRClickDelay(kRClickDelaySlider.maximum))
        return Fails(problem, record,
                     "the right-click duration is " + std::to_string(rDelay) + " ms, outside " +
                         Range(kRClickDelaySlider, 100) + " ms");
    const uint32_t dDelay = effects.msDClickDelay;
    if (dDelay < PositionToDClickDelay(kDClickDelaySlider.minimum) || dDelay > PositionToDClickDelay(kDClickDelaySlider.maximum))
        return Fails(problem, record,
                     "the double-click speed is " + std::to_string(dDelay) + " ms, outside " +
                         Range(kDClickDelaySlider, 100) + " ms");
    // Every comparison with NaN is false: finiteness first, or NaN would pass both bounds.
    const float range = effects.msRDClickRange;
    if (!std::isfinite(range))
        return Fails(problem, record, "the click range is not a number");
    if (range < PositionToClickRange(kClickRangeSlider.minimum) || range > PositionToClickRange(kClickRangeSlider.maximum))
        return Fails(problem, record, "the click range is " + std::to_string(range) + ", outside 0.1 to 0.5");
    const uint32_t smooth = effects.smoothValue;
    if (smooth > PositionToSmooth(kSmoothSlider.maximum))
        return Fails(problem, record,
                     "smoothing is " + std::to_string(smooth) + ", outside " + Range(kSmoothSlider, 1));
    return true;
}

TapJudge::DevicePoint TouchSide(const CalibrationPoint& p) { return {p.touchX, p.touchY}; }
TapJudge::DevicePoint ScreenSide(const CalibrationPoint& p) { return {p.screenX, p.screenY}; }

// The judge's rules for four points in target order, and a shape with an area: four distinct
// points on one line pass the side and corner rules, yet map the glass onto no screen.
bool PointsPlausible(const TapJudge::DevicePoint points[4]) {
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b)
            if (std::abs(int32_t(points[a].x) - int32_t(points[b].x)) <= TapJudge::kTooCloseUnits &&
                std::abs(int32_t(points[a].y) - int32_t(points[b].y)) <= TapJudge::kTooCloseUnits)
                return false;
    if (!CalibShapePlausible(points)) return false;
    const double ux = double(points[1].x) - points[0].x, uy = double(points[1].y) - points[0].y;
    const double vx = double(points[3].x) - points[0].x, vy = double(points[3].y) - points[0].y;
    const double minSide = TapJudge::kMinSideUnits;
    return std::fabs(ux * vy - uy * vx) >= minSide * minSide / 2;
}

bool CheckCalibration(const CalibrationRecord& calibration, std::string& problem) {
    const char* record = "records.calibration";
    const uint32_t enabled = calibration.enabled;
    if (enabled > 1) return Fails(problem, record, "the enabled flag is " + std::to_string(enabled) + ", not 0 or 1");
    // A calibration that is off is not used: its points are whatever the device last held.
    if (enabled == 0) return true;
    const CalibrationPoint* slots[4] = {&calibration.topLeft, &calibration.bottomLeft, &calibration.bottomRight,
                                        &calibration.topRight};
    TapJudge::DevicePoint touch[4], screen[4];
    for (int k = 0; k < 4; ++k) {
        const CalibrationPoint& p = *slots[k];
        if (p.touchX > kCalibScale || p.touchY > kCalibScale || p.screenX > kCalibScale || p.screenY > kCalibScale)
            return Fails(problem, record, "a point lies beyond the device's scale of " + std::to_string(kCalibScale));
        touch[k] = TouchSide(p);
        screen[k] = ScreenSide(p);
    }
    if (!PointsPlausible(touch))
        return Fails(problem, record, "its four touch points are not the corners of a screen (too close together or out of shape)");
    if (!PointsPlausible(screen))
        return Fails(problem, record, "its four screen points are not the corners of a screen (too close together or out of shape)");
    return true;
}

bool CheckItems(const DeviceProfile& profile, std::string& problem) {
    for (const auto& entry : profile.items) {
        const MultiConfigRecord& item = entry.second;
        const std::string record = "records.multi_config." + std::to_string(entry.first);
        if (item.length != kMultiConfigFollowing)
            return Fails(problem, record.c_str(),
                         "the length field is " + std::to_string(uint32_t{item.length}) + ", not " +
                             std::to_string(kMultiConfigFollowing));
        if (entry.first == kPenItemId && item.DataWord(0) > 1)
            return Fails(problem, record.c_str(),
                         "pen simulation is " + std::to_string(item.DataWord(0)) + ", not 0 or 1");
        if (entry.first == kOrientationItem) {
            if (item.DataWord(kOrientationLengthWord) != kOrientationItemLength)
                return Fails(problem, record.c_str(), "it is not a display orientation item (wrong item length)");
            // 0 upright, 1 to 3 the three rotations: what any display reports.
            if (item.DataWord(kOrientationValueWord) > 3)
                return Fails(problem, record.c_str(),
                             "the display orientation is " + std::to_string(item.DataWord(kOrientationValueWord)) +
                                 ", which no display has (0 to 3)");
        }
    }
    return true;
}

}  // namespace

bool IsDeviceIdentifier(const std::string& text) {
    if (text.size() != 16) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool ValidateProfile(const DeviceProfile& profile, std::string& problem) {
    if (!IsDeviceIdentifier(profile.device))
        return Fails(problem, "device",
                     "\"" + PrintableText(profile.device) + "\" is not a device identifier (16 hexadecimal digits)");
    return CheckConfig(profile.config, problem) && CheckEffects(profile.effects, problem) &&
           CheckCalibration(profile.calibration, problem) && CheckItems(profile, problem);
}

ProfileProblem ProfileForImport(const std::string& text, DeviceProfile& profile, std::string& problem) {
    DeviceProfile read;
    const ProfileProblem shape = ProfileFromJson(text, read, problem);
    if (shape != ProfileProblem::None) {
        problem = PrintableText(problem, 200);
        return shape;
    }
    if (!ValidateProfile(read, problem)) return ProfileProblem::BadRecord;
    profile = read;
    return ProfileProblem::None;
}

}  // namespace VexoSource
