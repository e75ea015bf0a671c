// The check after a new calibration: where its target is, what counts as near and as good, and
// which touches are the check's taps.
#include "device/CalibCheckRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "touchstream/TuioStream.h"

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

    // Two fingers landing in one packet landed together: neither counts, whichever lifts first
    // and whichever the set lists first.
    for (const auto& ids : {std::pair<int32_t, int32_t>{20, 21}, {23, 22}}) {
        SCOPED_TRACE(ids.first);
        touches.OnTouchSet({{ids.first, 0.5f, 0.5f}, {ids.second, 0.52f, 0.5f}}, now += 25);
        EXPECT_FALSE(touches.OnTouchSet({{ids.first, 0.5f, 0.5f}}, now += 25).tapped);
        EXPECT_FALSE(touches.OnTouchSet({}, now += 25).tapped);
    }

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

namespace {

// The touch sets a real producer's recorded stream gives, packet by packet, as the reader hands
// them on.
std::vector<std::vector<TapTouch>> RealStreamSets() {
    std::ifstream in(std::string(QLN_TEST_DATA) + "/tuio-stream-real.bin", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    VexoGroup<VexoTUIOTouch_Ele> touches;
    TuioStream stream(touches);
    stream.Append(bytes);
    std::vector<std::vector<TapTouch>> sets;
    for (TuioStepResult r; (r = stream.Step()) != TuioStepResult::Idle;) {
        if (r == TuioStepResult::Skipped) continue;
        std::vector<TapTouch> set;
        for (int32_t k = 0; k < touches.Count(); ++k)
            if (const VexoTUIOTouch_Ele* t = touches.Get(k)) set.push_back({t->id, t->x, t->y});
        sets.push_back(set);
    }
    return sets;
}

}  // namespace

// The recorded stream of a real producer (three cursors that move, overlap and lift, "set" only
// for those that moved): every touch is drawn where the stream last put it while it is down, and
// for the keep time after its lift; and a touch counts as the check's tap only when no other touch
// landed, and none lifted, during its life (the intervals of the recording, read here on their own:
// the three first cursors land in one packet, and the last two lift in one, so none counts).
TEST(CalibCheckRules, TheRecordedStreamOfARealProducerIsDrawnAndJudgedTouchByTouch) {
    const std::vector<std::vector<TapTouch>> sets = RealStreamSets();
    ASSERT_EQ(sets.size(), 268u);

    // Each touch's life, in packets: the first and the last set that held it.
    struct Life {
        size_t first = 0, last = 0;
    };
    std::map<int32_t, Life> lives;
    for (size_t k = 0; k < sets.size(); ++k)
        for (const TapTouch& t : sets[k]) {
            auto it = lives.find(t.id);
            if (it == lives.end()) lives[t.id] = Life{k, k};
            else it->second.last = k;
        }
    ASSERT_GE(lives.size(), 3u);
    std::set<int32_t> clean;
    for (const auto& [id, life] : lives) {
        bool alone = true;
        for (const auto& [other, o] : lives) {
            if (other == id) continue;
            // In the same packet too: fingers that land together are no lone tap.
            const bool landedDuring = o.first >= life.first && o.first <= life.last;
            const bool liftedDuring = o.last >= life.first && o.last <= life.last && o.first < life.first;
            const bool liftedTogether = o.last == life.last;
            if (landedDuring || liftedDuring || liftedTogether) alone = false;
        }
        if (alone) clean.insert(id);
    }

    CheckTouches check;
    const uint64_t kPacketMs = 20;  // a producer's pace
    check.Begin(0);
    std::set<int32_t> tapped;
    std::map<int32_t, size_t> liftedAt;
    for (size_t k = 0; k < sets.size(); ++k) {
        const uint64_t now = (k + 1) * kPacketMs;
        const CheckTouches::Outcome outcome = check.OnTouchSet(sets[k], now);
        if (outcome.tapped) tapped.insert(outcome.tap.id);
        for (const auto& [id, life] : lives)
            if (life.last + 1 == k) liftedAt[id] = k;

        const std::vector<CheckMark> marks = check.Marks(now);
        size_t down = 0;
        for (const CheckMark& m : marks) down += m.down ? 1 : 0;
        EXPECT_EQ(down, sets[k].size()) << "packet " << k;
        for (const TapTouch& t : sets[k]) {
            bool drawn = false;
            for (const CheckMark& m : marks)
                drawn = drawn || (m.down && m.id == t.id && m.x == t.x && m.y == t.y);
            EXPECT_TRUE(drawn) << "touch " << t.id << " in packet " << k;
        }
        for (const auto& [id, at] : liftedAt) {
            const bool keep = (k - at) * kPacketMs < CheckTouches::kMarkKeepMs;
            bool drawnLifted = false;
            for (const CheckMark& m : marks) drawnLifted = drawnLifted || (!m.down && m.id == id);
            EXPECT_EQ(drawnLifted, keep) << "touch " << id << ", " << k - at << " packets after its lift";
        }
    }
    EXPECT_EQ(tapped, clean);
}
