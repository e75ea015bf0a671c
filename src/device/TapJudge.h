// Which touches of the live stream are the calibration's taps, and whether the four points make
// sense, free of any window.
//
// An infrared frame reports whatever breaks its beams: a palm or sleeve resting on the bezel, a
// second finger, a quick double tap. The judge follows every touch by its session id through the
// touch sets the stream reader delivers (a touch is down while the set names it; it lifts when
// a packet's "alive" no longer names it) and takes a point only from a clean tap:
//
//  - The touch went down while the current target was shown, and at least kSettleMs after it
//    turned red. A touch that was already down when the target turned red (a palm resting since
//    before, the finger that took the previous point and has not lifted yet) is never taken,
//    whenever it lifts. The settle time keeps the second half of a double tap, which lands a
//    moment after the first took its point, from being taken for the next target.
//  - It is taken when it lifts, from its last position (a touch that rests still keeps the last
//    position its last "set" gave: real producers send no "set" for a touch that does not move).
//  - Every other touch seen during its life went down before it and is still down when it lifts.
//    A palm that lands first and stays is ignored; a touch that lands during the tap, or an
//    earlier touch that lifts during it (a hand, two fingers), spoils it: no point, and the user
//    is asked to lift all fingers and touch with one. Touches that land in the same packet landed
//    together, and touches that leave in the same packet lifted together: none of them is a tap,
//    whatever order the set listed them in.
//
// Plausibility, in device units (0..32767), for any way the frame is mounted: no rule assumes
// which way device x or y grows, since frames are mounted rotated and mirrored.
//  - A point within kTooCloseUnits of a point already taken, on both axes, is refused and the
//    same target stays red: a repeated tap on the previous target, whatever the orientation.
//  - The four points must be the corners of a near-parallelogram (the bottom-right point within
//    kShapeToleranceUnits of bottom-left + top-right - top-left on each axis) whose sides are each
//    at least kMinSideUnits long. Otherwise nothing is kept and the calibration starts again at
//    the first target.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "servicelink/ServiceContract.h"

namespace VexoSource {

// One touch of a touch set: its session id and normalised position.
struct TapTouch {
    int32_t id = 0;
    float x = 0.0f;
    float y = 0.0f;
};

// Takes the touches that touches no longer names out of down (id -> what is known of a touch) and
// returns them with their ids: a lift is a set that lacks the id.
template <class Tracked>
std::vector<std::pair<int32_t, Tracked>> TakeLifted(std::map<int32_t, Tracked>& down, const std::vector<TapTouch>& touches) {
    std::vector<std::pair<int32_t, Tracked>> lifted;
    for (auto entry = down.begin(); entry != down.end();) {
        bool named = false;
        for (const TapTouch& t : touches) named = named || t.id == entry->first;
        if (named) {
            ++entry;
            continue;
        }
        lifted.emplace_back(entry->first, entry->second);
        entry = down.erase(entry);
    }
    return lifted;
}

// The lift rules on what TakeLifted took: touches that leave in one packet left together (none of
// them is a lone tap), and an earlier touch lifting spoils every later one still down.
template <class Tracked>
void SpoilByLifts(std::vector<std::pair<int32_t, Tracked>>& lifted, std::map<int32_t, Tracked>& down) {
    for (auto& entry : lifted) {
        if (lifted.size() > 1) entry.second.spoiled = true;
        for (auto& other : down)
            if (other.second.order > entry.second.order) other.second.spoiled = true;
    }
}

// The landing rule, for the touches of touches that down does not hold yet: a touch landing spoils
// every touch already down, and touches that land in one packet landed together (a hand, two
// fingers), whichever id the set lists first, so none of them is a lone tap. Adds each new touch
// with make(id), then spoiled as the rule says; returns whether any landed.
template <class Tracked, class Make>
bool AddLandings(std::map<int32_t, Tracked>& down, const std::vector<TapTouch>& touches, Make make) {
    std::vector<int32_t> landing;
    for (const TapTouch& t : touches)
        if (down.find(t.id) == down.end() &&
            std::find(landing.begin(), landing.end(), t.id) == landing.end())
            landing.push_back(t.id);
    if (landing.empty()) return false;
    for (auto& other : down) other.second.spoiled = true;
    for (int32_t id : landing) {
        Tracked fresh = make(id);
        fresh.spoiled = landing.size() > 1;
        down.emplace(id, fresh);
    }
    return true;
}

enum class TapVerdict {
    None,        // nothing to tell
    Taken,       // a point was taken; the next target is red (or all four are in)
    TooClose,    // refused: too close to a point already taken
    MoreThanOne, // refused: another touch landed or lifted during the tap
    WrongShape,  // the four points were refused; the calibration starts again at the first target
};

class TapJudge {
public:
    // 10 % of the range: a target's neighbours are at least ~80 % of the range away on one axis,
    // while taps on the same target land well within this on both.
    static constexpr int32_t kTooCloseUnits = 3277;
    // 10 % of the range: taps aimed at targets 40 px from the corners stray a few percent, a
    // point on a wrong target (the middle of the screen) misses the fourth corner by ~50 %.
    static constexpr int32_t kShapeToleranceUnits = 3277;
    // A quarter of the range: the targets span ~95 % of the screen on each side.
    static constexpr int32_t kMinSideUnits = 8192;
    // The touch that took the previous point lifting and a quick second tap land within this.
    static constexpr uint64_t kSettleMs = 300;

    TapJudge() = default;

    // Forgets every point and shows the first target, red from nowMs on. Touches down now are
    // never taken.
    void Begin(uint64_t nowMs);

    // One touch set as the reader delivered it, at nowMs.
    TapVerdict OnTouchSet(const std::vector<TapTouch>& touches, uint64_t nowMs);

    // Index of the target to touch (0..3: top-left, bottom-left, bottom-right, top-right); 4 once
    // all four are in.
    int32_t CurrentTarget() const { return current_; }
    // The touch positions taken so far, in device units, by target index.
    struct DevicePoint {
        uint16_t x = 0, y = 0;
    };
    const DevicePoint& Point(int32_t target) const { return points_[target & 3]; }
    // Time of the last taken point or of Begin: the calibration's idle time runs from here.
    uint64_t LastProgressMs() const { return redSinceMs_; }
    // The new record (enabled flag 0) once all four points are in: the touch values taken and
    // the target centres on a screen of width x height pixels.
    CalibrationRecord Record(int32_t width, int32_t height) const;

private:
    struct Tracked {
        uint64_t downMs = 0;
        uint64_t order = 0;     // the order touches went down in
        float x = 0.0f, y = 0.0f;
        bool eligible = false;  // went down while the current target was red and settled
        bool spoiled = false;   // another touch landed, or an earlier one lifted, during its life
    };

    TapVerdict Lifted(const Tracked& touch, uint64_t nowMs);
    bool TooClose(const DevicePoint& p) const;
    bool ShapeHolds() const;
    void NextTarget(uint64_t nowMs);

    std::map<int32_t, Tracked> down_;
    // Until Begin, touches are only followed: none is a tap (the calibration is still starting).
    bool begun_ = false;
    uint64_t nextOrder_ = 0;
    uint64_t redSinceMs_ = 0;
    int32_t current_ = 0;
    DevicePoint points_[4];
};

// Whether four touch points (target order: top-left, bottom-left, bottom-right, top-right) form
// the near-parallelogram described above.
bool CalibShapePlausible(const TapJudge::DevicePoint points[4]);

}  // namespace VexoSource
