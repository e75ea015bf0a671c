#include "device/CalibCheckRules.h"

#include <algorithm>
#include <cmath>

namespace VexoSource {

PixelPoint CheckTargetAt(int32_t width, int32_t height) {
    const int32_t below = std::max<int32_t>(height / 6, 160);
    return {width / 2, std::max<int32_t>(0, std::min(height / 2 + below, height - 100))};
}

PixelPoint TouchPixel(float x, float y, int32_t width, int32_t height) {
    auto axis = [](float v, int32_t extent) {
        if (extent <= 0) return int32_t(0);
        if (!(v > 0.0f)) return int32_t(0);  // also not a number
        const double px = std::lround(double(v) * extent);
        return int32_t(std::min<double>(px, extent - 1));
    };
    return {axis(x, width), axis(y, height)};
}

int32_t CheckNearPx(int32_t width, int32_t height) { return std::max<int32_t>(60, std::min(width, height) / 6); }

CheckResult JudgeCheckTap(PixelPoint tap, int32_t width, int32_t height) {
    const PixelPoint target = CheckTargetAt(width, height);
    const double distance = std::hypot(double(tap.x - target.x), double(tap.y - target.y));
    CheckResult result;
    result.distancePx = int32_t(std::lround(distance));
    if (result.distancePx > CheckNearPx(width, height))
        result.grade = CheckGrade::Far;
    else
        result.grade = result.distancePx <= kCheckGoodPx ? CheckGrade::Good : CheckGrade::Wrong;
    return result;
}

void CheckTouches::Begin(uint64_t nowMs) {
    (void)nowMs;
    for (auto& entry : down_) entry.second.eligible = false;
    // Touches lifted before were placed by the calibration in force then (none, while the targets
    // were shown): drawn now they would say nothing about the new one.
    liftedMarks_.clear();
    begun_ = true;
}

CheckTouches::Outcome CheckTouches::OnTouchSet(const std::vector<TapTouch>& touches, uint64_t nowMs) {
    Outcome out;
    // Lifts first, as the calibration judges them: an earlier touch lifting spoils later ones, and
    // touches that leave in one packet left together, so none of them counts whatever the order.
    auto lifted = TakeLifted(down_, touches);
    SpoilByLifts(lifted, down_);
    for (const auto& [id, touch] : lifted) {
        CheckMark mark = downMarks_[id];
        downMarks_.erase(id);
        mark.down = false;
        mark.liftedMs = nowMs;
        liftedMarks_.push_back(mark);
        if (touch.eligible && !touch.spoiled) {
            out.tapped = true;
            out.tap = TapTouch{id, mark.x, mark.y};
        }
    }
    // Then landings (the calibration's rule) and positions.
    const bool landed = AddLandings(down_, touches, [&](int32_t) {
        Tracked fresh;
        fresh.order = nextOrder_++;
        fresh.eligible = begun_;
        return fresh;
    });
    out.landed = landed && begun_;
    for (const TapTouch& t : touches) downMarks_[t.id] = CheckMark{t.id, t.x, t.y, true, 0};
    return out;
}

std::vector<CheckMark> CheckTouches::Marks(uint64_t nowMs) {
    liftedMarks_.erase(std::remove_if(liftedMarks_.begin(), liftedMarks_.end(),
                                      [nowMs](const CheckMark& m) { return nowMs >= m.liftedMs + kMarkKeepMs; }),
                       liftedMarks_.end());
    std::vector<CheckMark> marks = liftedMarks_;
    for (const auto& entry : downMarks_) marks.push_back(entry.second);
    return marks;
}

}  // namespace VexoSource
