// The check after a new calibration: where its target is, what counts as near and as good, and
// which touches are the check's taps.
#include "device/CalibCheckRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace VexoSource;

TEST(CalibCheckRules, DistanceNearAndGradeOnLandscapeAndPortrait) {
    struct Case {
        const char* name;
        int32_t width, height;
        PixelPoint tap;
        CheckGrade grade;
        int32_t distance;
    } cases[] = {
        {"on the target", 1920, 1080, {960, 720}, CheckGrade::Good, 0},
        {"3 px right", 1920, 1080, {963, 720}, CheckGrade::Good, 3},
        {"at the threshold, diagonally", 1920, 1080, {966, 725}, CheckGrade::Good, 8},  // 7.8 rounds to 8
        {"just beyond the threshold", 1920, 1080, {969, 720}, CheckGrade::Wrong, 9},
        {"a bottom corner 40 px off shows about 14", 1920, 1080, {946, 720}, CheckGrade::Wrong, 14},
        {"at the edge of near", 1920, 1080, {960, 900}, CheckGrade::Wrong, 180},
        {"just past near", 1920, 1080, {960, 901}, CheckGrade::Far, 181},
        {"a corner target", 1920, 1080, {65, 1015}, CheckGrade::Far, 942},
        {"portrait", 1080, 1920, {540, 1280}, CheckGrade::Good, 0},
        {"portrait: near by its width", 1080, 1920, {540, 1460}, CheckGrade::Wrong, 180},
        {"small display: near never under 60", 320, 240, {160, 200}, CheckGrade::Wrong, 60},
        {"small display: past it", 320, 240, {160, 201}, CheckGrade::Far, 61},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CheckResult r = JudgeCheckTap(c.tap, c.width, c.height);
        EXPECT_EQ(r.grade, c.grade);
        EXPECT_EQ(r.distancePx, c.distance);
    }
    // Below the middle, where the confirmation box is, even on a small display.
    EXPECT_EQ(CheckTargetAt(1920, 1080), (PixelPoint{960, 720}));
    EXPECT_EQ(CheckTargetAt(1080, 1920), (PixelPoint{540, 1280}));
    EXPECT_EQ(CheckTargetAt(1024, 768), (PixelPoint{512, 544}));
    EXPECT_EQ(CheckTargetAt(320, 240), (PixelPoint{160, 140}));
}

TEST(CalibCheckRules, StreamPositionsBecomePixelsOnTheDisplay) {
    struct Case {
        const char* name;
        float x, y;
        PixelPoint pixel;
    } cases[] = {
        {"centre", 0.5f, 0.5f, {960, 540}},
        {"a pixel's own position rounds back to it", 65.0f / 1920, 1015.0f / 1080, {65, 1015}},
        {"just under a pixel", 959.6f / 1920, 539.6f / 1080, {960, 540}},
        {"left and top edges", 0.0f, 0.0f, {0, 0}},
        {"right and bottom edges stay on the display", 1.0f, 1.0f, {1919, 1079}},
        {"outside 0..1 is kept on the display", -0.2f, 1.5f, {0, 1079}},
        {"not a number lands on the edge", std::numeric_limits<float>::quiet_NaN(), 0.5f, {0, 540}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TouchPixel(c.x, c.y, 1920, 1080), c.pixel);
    }
}

// The calibration's tap rules: a touch resting since before, or a second finger, is drawn but never
// counts; a clean tap counts from its last position; lifted touches stay drawn for a moment.
TEST(CalibCheckRules, OnlyCleanTapsAfterTheBeginCountAndEveryTouchIsDrawn) {
    CheckTouches touches;
    uint64_t now = 1000;
    // A palm resting since the targets, and the last target's tap lifted a moment ago (at a
    // position of the calibration that was in force then).
    touches.OnTouchSet({{7, 0.5f, 0.99f}, {8, 0.9f, 0.1f}}, now - 100);
    EXPECT_FALSE(touches.OnTouchSet({{7, 0.5f, 0.99f}}, now).landed);
    touches.Begin(now);
    EXPECT_EQ(touches.Marks(now).size(), 1u);  // the palm only
    now += 50;
    // A finger lands with the palm resting, moves, lifts: a tap, from its last position.
    CheckTouches::Outcome o = touches.OnTouchSet({{7, 0.5f, 0.99f}, {1, 0.4f, 0.4f}}, now);
    EXPECT_TRUE(o.landed);
    EXPECT_FALSE(o.tapped);
    EXPECT_EQ(touches.Marks(now).size(), 2u);  // both drawn
    touches.OnTouchSet({{7, 0.5f, 0.99f}, {1, 0.5f, 0.5f}}, now += 25);
    o = touches.OnTouchSet({{7, 0.5f, 0.99f}}, now += 25);
    ASSERT_TRUE(o.tapped);
    EXPECT_EQ(o.tap.id, 1);
    EXPECT_FLOAT_EQ(o.tap.x, 0.5f);
    // The palm lifting is no tap.
    o = touches.OnTouchSet({}, now += 25);
    EXPECT_FALSE(o.tapped);
    EXPECT_EQ(touches.Marks(now).size(), 2u);  // both lifted, still shown
    EXPECT_TRUE(touches.Marks(now + CheckTouches::kMarkKeepMs).empty());

    // A quick second tap gets the freed id again: both stay drawn.
    touches.OnTouchSet({{1, 0.2f, 0.2f}}, now += 25);
    touches.OnTouchSet({}, now += 25);
    touches.OnTouchSet({{1, 0.3f, 0.3f}}, now += 25);
    EXPECT_TRUE(touches.OnTouchSet({}, now += 25).tapped);
    EXPECT_EQ(touches.Marks(now).size(), 2u);
    now += CheckTouches::kMarkKeepMs;

    // Two fingers: the first is spoiled by the second landing, the second by the first lifting.
    touches.OnTouchSet({{2, 0.5f, 0.5f}}, now += 25);
    touches.OnTouchSet({{2, 0.5f, 0.5f}, {3, 0.6f, 0.6f}}, now += 25);
    EXPECT_FALSE(touches.OnTouchSet({{3, 0.6f, 0.6f}}, now += 25).tapped);
    EXPECT_FALSE(touches.OnTouchSet({}, now += 25).tapped);

    // Two fingers lifting in one packet left together: neither counts, whichever id is lower.
    for (const auto& ids : {std::pair<int32_t, int32_t>{10, 11}, {13, 12}}) {
        SCOPED_TRACE(ids.first);
        touches.OnTouchSet({{ids.first, 0.5f, 0.5f}}, now += 25);
        touches.OnTouchSet({{ids.first, 0.5f, 0.5f}, {ids.second, 0.52f, 0.5f}}, now += 25);
        EXPECT_FALSE(touches.OnTouchSet({}, now += 25).tapped);
    }

    // The prompt that may follow begins again: a touch still down then does not count as landing.
    touches.OnTouchSet({{4, 0.1f, 0.1f}}, now += 25);
    touches.Begin(now);
    EXPECT_FALSE(touches.OnTouchSet({{4, 0.2f, 0.1f}}, now += 25).landed);
    EXPECT_FALSE(touches.OnTouchSet({}, now += 25).tapped);
    EXPECT_TRUE(touches.OnTouchSet({{5, 0.9f, 0.9f}}, now += 25).landed);
}
