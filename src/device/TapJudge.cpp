#include "device/TapJudge.h"

#include <cmath>
#include <cstdlib>

#include "device/CalibRules.h"

namespace VexoSource {

void TapJudge::Begin(uint64_t nowMs) {
    for (DevicePoint& p : points_) p = DevicePoint{};
    current_ = 0;
    begun_ = true;
    NextTarget(nowMs);
}

CalibrationRecord TapJudge::Record(int32_t width, int32_t height) const {
    CalibrationRecord record{};
    for (int32_t k = 0; k < kCalibTargetCount; ++k) {
        const CalibTarget target = CalibTargetAt(k, width, height);
        CalibrationPoint& slot = CalibSlot(record, k);
        slot.screenX = CalibScreenValue(target.centreX, width);
        slot.screenY = CalibScreenValue(target.centreY, height);
        slot.touchX = points_[k].x;
        slot.touchY = points_[k].y;
    }
    return record;
}

void TapJudge::NextTarget(uint64_t nowMs) {
    redSinceMs_ = nowMs;
    // Whatever is down now went down before this target was shown.
    for (auto& entry : down_) entry.second.eligible = false;
}

TapVerdict TapJudge::OnTouchSet(const std::vector<TapTouch>& touches, uint64_t nowMs) {
    TapVerdict verdict = TapVerdict::None;

    // Lifts first: a touch the set no longer names has left. Earlier touches lifting while later
    // ones are still down spoil the later ones. Touches that leave in the same packet left
    // together (a hand, two fingers), whichever id the set listed first: all of them are spoiled
    // before any is judged, so no order of judging lets one of them count as a lone tap.
    auto lifted = TakeLifted(down_, touches);
    SpoilByLifts(lifted, down_);
    for (const auto& entry : lifted) {
        const Tracked& touch = entry.second;
        const TapVerdict v = Lifted(touch, nowMs);
        if (v != TapVerdict::None) verdict = v;
    }

    // Then landings (AddLandings: no touch that lands with another, or while one is down, is a
    // lone tap) and positions.
    AddLandings(down_, touches, [&](int32_t) {
        Tracked fresh;
        fresh.downMs = nowMs;
        fresh.order = nextOrder_++;
        fresh.eligible = begun_ && current_ < kCalibTargetCount && nowMs >= redSinceMs_ + kSettleMs;
        return fresh;
    });
    for (const TapTouch& t : touches) {
        Tracked& touch = down_[t.id];
        touch.x = t.x;
        touch.y = t.y;
    }
    return verdict;
}

TapVerdict TapJudge::Lifted(const Tracked& touch, uint64_t nowMs) {
    if (!touch.eligible || current_ >= kCalibTargetCount) return TapVerdict::None;
    if (touch.spoiled) return TapVerdict::MoreThanOne;

    DevicePoint p;
    p.x = CalibTouchValue(touch.x);
    p.y = CalibTouchValue(touch.y);
    if (TooClose(p)) return TapVerdict::TooClose;

    points_[current_] = p;
    ++current_;
    NextTarget(nowMs);
    if (current_ < kCalibTargetCount || ShapeHolds()) return TapVerdict::Taken;

    // Not the corners of the screen: start again from the first target.
    for (DevicePoint& q : points_) q = DevicePoint{};
    current_ = 0;
    return TapVerdict::WrongShape;
}

bool TapJudge::TooClose(const DevicePoint& p) const {
    for (int32_t k = 0; k < current_; ++k)
        if (std::abs(int32_t(p.x) - int32_t(points_[k].x)) < kTooCloseUnits &&
            std::abs(int32_t(p.y) - int32_t(points_[k].y)) < kTooCloseUnits)
            return true;
    return false;
}

bool TapJudge::ShapeHolds() const { return CalibShapePlausible(points_); }

bool CalibShapePlausible(const TapJudge::DevicePoint points[4]) {
    const TapJudge::DevicePoint &tl = points[0], &bl = points[1], &br = points[2], &tr = points[3];
    const int32_t expectX = int32_t(bl.x) + int32_t(tr.x) - int32_t(tl.x);
    const int32_t expectY = int32_t(bl.y) + int32_t(tr.y) - int32_t(tl.y);
    if (std::abs(int32_t(br.x) - expectX) > TapJudge::kShapeToleranceUnits ||
        std::abs(int32_t(br.y) - expectY) > TapJudge::kShapeToleranceUnits)
        return false;
    const TapJudge::DevicePoint* corners[4] = {&tl, &bl, &br, &tr};
    for (int k = 0; k < 4; ++k) {
        const TapJudge::DevicePoint& a = *corners[k];
        const TapJudge::DevicePoint& b = *corners[(k + 1) % 4];
        const double side = std::hypot(double(a.x) - double(b.x), double(a.y) - double(b.y));
        if (side < double(TapJudge::kMinSideUnits)) return false;
    }
    return true;
}

}  // namespace VexoSource
