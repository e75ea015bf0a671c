// The check that follows a new calibration, free of any window: where the check target is, which
// touches of the live stream are drawn and which one is a check tap, how far a tap lifted near the
// target is from it, and whether that distance says the calibration is good.
//
// With the new record in force the service reports calibrated positions, so a touch is drawn
// where the stream puts it (normalised position x the display's size, in pixels of the covered
// display). The tap rules are the calibration's (TapJudge.h): a touch counts when it went down
// after the check began, lifted, and no other touch landed or an earlier one lifted during its
// life; a touch resting since before (a palm, the finger that took the fourth target) or a
// second finger is drawn but never counts.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "device/TapJudge.h"

namespace VexoSource {

struct PixelPoint {
    int32_t x = 0, y = 0;
    bool operator==(const PixelPoint& o) const { return x == o.x && y == o.y; }
};

// The check target: centred across the display, a sixth of its height (at least 160 px) below its
// middle, where none of the four corner targets was. Not the middle itself: the confirmation box
// sits there (a Wayland compositor centres it whatever the program asks), and the target must be
// visible while the box counts down. Being nearer the bottom, it shows an error in a bottom corner
// about twice as strongly as one in a top corner (bilinearly, about 0.35 and 0.15 of it).
PixelPoint CheckTargetAt(int32_t width, int32_t height);

// A stream position (0..1) on a display of width x height pixels, rounded to the nearest pixel
// and kept on the display (a position outside 0..1, or not a number, lands on the edge).
PixelPoint TouchPixel(float x, float y, int32_t width, int32_t height);

// A lifted tap is "near" the check target when it lies within this many pixels of its centre: a
// sixth of the display's shorter side (180 px on 1080 lines), never less than 60. Far beyond any
// error a usable calibration makes, and short of the corners' targets; a tap further away is only
// drawn (the user touching elsewhere to see where touches land).
int32_t CheckNearPx(int32_t width, int32_t height);

// A tap within this many pixels of the check target's centre says the calibration is good. The
// frames this program configures sit on large displays (32 to 86 inches, 0.4 to 1 mm a pixel at
// 1080 lines): 8 px is 3 to 8 mm, about half a fingertip, which a careful tap on the centre of a
// 20 px circle stays within. One corner taken 40 px off (a finger that slipped) puts the centre
// about 10 px off, beyond it.
constexpr int32_t kCheckGoodPx = 8;

enum class CheckGrade {
    Far,    // not near the check target: drawn, no figure
    Good,   // within kCheckGoodPx: shown in green
    Wrong,  // near the target but beyond kCheckGoodPx: shown in amber, with the warning
};

struct CheckResult {
    CheckGrade grade = CheckGrade::Far;
    int32_t distancePx = 0;  // rounded distance from the target's centre
};

CheckResult JudgeCheckTap(PixelPoint tap, int32_t width, int32_t height);

// One touch as the check view draws it.
struct CheckMark {
    int32_t id = 0;
    float x = 0.0f, y = 0.0f;  // its last stream position
    bool down = true;
    uint64_t liftedMs = 0;     // when it lifted (down == false)
};

// Follows the touches of the stream through the check (and through the "touch anywhere" prompt
// that may follow it).
class CheckTouches {
public:
    // A lifted touch stays drawn this long.
    static constexpr uint64_t kMarkKeepMs = 1500;

    // Touches down now never count, nothing has landed yet, and touches lifted before are no
    // longer drawn.
    void Begin(uint64_t nowMs);

    struct Outcome {
        bool landed = false;  // a touch went down after Begin (any touch: the prompt's rule)
        bool tapped = false;  // a clean tap lifted; its last position is `tap`
        TapTouch tap;
    };
    // One touch set as the reader delivered it, at nowMs.
    Outcome OnTouchSet(const std::vector<TapTouch>& touches, uint64_t nowMs);

    // The touches to draw at nowMs: those down, and those lifted less than kMarkKeepMs ago.
    // Forgets older lifted ones.
    std::vector<CheckMark> Marks(uint64_t nowMs);

private:
    struct Tracked {
        uint64_t order = 0;
        bool eligible = false;
        bool spoiled = false;
    };
    std::map<int32_t, Tracked> down_;
    std::map<int32_t, CheckMark> downMarks_;  // by id
    // Lifted ones by themselves: a producer gives the next touch the freed id at once.
    std::vector<CheckMark> liftedMarks_;
    uint64_t nextOrder_ = 0;
    bool begun_ = false;
};

}  // namespace VexoSource
