// The calibration's tap rules, as sequences of touch sets the way the stream reader delivers them
// (one set per packet; a touch that rests still stays in the set with its last position).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/CalibRules.h"
#include "device/TapJudge.h"
#include "touchstream/TuioDecoder.h"

using namespace VexoSource;

namespace {

// A script of packets: each step is the touch set at a time (ms after Begin).
struct Step {
    uint64_t atMs;
    std::vector<TapTouch> set;
};

// One finger at (x, y), id, down at t for two packets 30 ms apart, lifted at t + 60.
std::vector<Step> Tap(int32_t id, float x, float y, uint64_t t, std::vector<TapTouch> others = {}) {
    std::vector<TapTouch> with = others;
    with.push_back({id, x, y});
    return {{t, with}, {t + 30, with}, {t + 60, others}};
}

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Outcome {
    std::vector<TapVerdict> verdicts;  // the verdicts other than None, in order
    int32_t target = 0;
    TapJudge::DevicePoint points[4];
};

Outcome Play(const std::vector<Step>& steps) {
    TapJudge judge;
    judge.Begin(0);
    Outcome run;
    for (const Step& s : steps) {
        const TapVerdict v = judge.OnTouchSet(s.set, s.atMs);
        if (v != TapVerdict::None) run.verdicts.push_back(v);
    }
    run.target = judge.CurrentTarget();
    for (int k = 0; k < 4; ++k) run.points[k] = judge.Point(k);
    return run;
}

// Four clean taps, 500 ms apart from t, at the given normalised corners (target order).
std::vector<Step> FourTaps(const float corners[4][2], uint64_t t = 400, int32_t firstId = 1) {
    std::vector<Step> steps;
    for (int k = 0; k < 4; ++k) steps = steps + Tap(firstId + k, corners[k][0], corners[k][1], t + 500 * uint64_t(k));
    return steps;
}

const float kUpright[4][2] = {{0.05f, 0.05f}, {0.05f, 0.95f}, {0.95f, 0.95f}, {0.95f, 0.05f}};
// The same taps on a frame mounted mirrored left-right, rotated by 90 degrees, with axes swapped.
const float kMirrored[4][2] = {{0.95f, 0.05f}, {0.95f, 0.95f}, {0.05f, 0.95f}, {0.05f, 0.05f}};
const float kRotated90[4][2] = {{0.95f, 0.05f}, {0.05f, 0.05f}, {0.05f, 0.95f}, {0.95f, 0.95f}};
const float kSwapped[4][2] = {{0.05f, 0.05f}, {0.95f, 0.05f}, {0.95f, 0.95f}, {0.05f, 0.95f}};
const float kOneInTheMiddle[4][2] = {{0.05f, 0.05f}, {0.05f, 0.95f}, {0.5f, 0.5f}, {0.95f, 0.05f}};

constexpr TapVerdict T = TapVerdict::Taken;
constexpr TapVerdict Close = TapVerdict::TooClose;
constexpr TapVerdict Many = TapVerdict::MoreThanOne;
constexpr TapVerdict Shape = TapVerdict::WrongShape;

}  // namespace

TEST(TapJudge, TakesOnlyCleanTapsOfOneFinger) {
    const TapTouch palm{9, 0.5f, 0.98f};
    struct Row {
        const char* name;
        std::vector<Step> steps;
        std::vector<TapVerdict> verdicts;
        int32_t target;
    } rows[] = {
        {"one clean tap", Tap(1, 0.05f, 0.05f, 400), {T}, 1},
        {"a finger held still over many packets, then lifted",
         std::vector<Step>{{400, {{1, 0.05f, 0.05f}}}, {430, {{1, 0.05f, 0.05f}}}, {2000, {{1, 0.05f, 0.05f}}},
                           {5000, {{1, 0.05f, 0.05f}}}, {5030, {}}},
         {T}, 1},
        {"a touch resting from before the target is never taken, whenever it lifts",
         std::vector<Step>{{0, {palm}}, {400, {palm}}, {3000, {}}}, {}, 0},
        {"a resting touch plus a tap beside it",
         std::vector<Step>{{0, {palm}}} + Tap(1, 0.05f, 0.05f, 400, {palm}), {T}, 1},
        {"a palm that lands just before the finger and stays after it",
         std::vector<Step>{{390, {palm}}} + Tap(1, 0.05f, 0.05f, 400, {palm}) + std::vector<Step>{{900, {palm}}},
         {T}, 1},
        {"a resting touch that lifts during the calibration, between taps",
         std::vector<Step>{{0, {palm}}} + Tap(1, 0.05f, 0.05f, 400, {palm}) + std::vector<Step>{{600, {}}} +
             Tap(2, 0.05f, 0.95f, 900),
         {T, T}, 2},
        {"a resting touch that lifts during a tap spoils it",
         std::vector<Step>{{0, {palm}}, {400, {palm, {1, 0.05f, 0.05f}}}, {430, {{1, 0.05f, 0.05f}}}, {460, {}}},
         {Many}, 0},
        {"a second finger landing during the tap",
         std::vector<Step>{{400, {{1, 0.05f, 0.05f}}}, {430, {{1, 0.05f, 0.05f}, {2, 0.3f, 0.3f}}},
                           {460, {{2, 0.3f, 0.3f}}}, {490, {}}},
         {Many, Many}, 0},
        {"two fingers, the earlier one lifting first",
         std::vector<Step>{{400, {{1, 0.05f, 0.05f}, {2, 0.3f, 0.3f}}}, {430, {{2, 0.3f, 0.3f}}}, {460, {}}},
         {Many, Many}, 0},
        // The finger on the target lands first, a second beside it while it is down; both
        // leave in one packet. Neither may count, whichever id the set lists first.
        {"two fingers lifting together, the later one with the lower id",
         std::vector<Step>{{400, {{5, 0.05f, 0.05f}}}, {430, {{5, 0.05f, 0.05f}, {3, 0.1f, 0.1f}}}, {460, {}}},
         {Many}, 0},
        {"two fingers lifting together, the later one with the higher id",
         std::vector<Step>{{400, {{3, 0.05f, 0.05f}}}, {430, {{3, 0.05f, 0.05f}, {5, 0.1f, 0.1f}}}, {460, {}}},
         {Many}, 0},
        {"a resting touch lifting in the same packet as a tap",
         std::vector<Step>{{0, {palm}}, {400, {{1, 0.05f, 0.05f}, palm}}, {430, {{1, 0.05f, 0.05f}, palm}},
                           {460, {}}},
         {Many}, 0},
        // Two fingers land in one packet; the one on the target lifts while the other stays. They
        // landed together: no point, whichever id the set lists first.
        {"two fingers landing together, the one listed last lifting first",
         std::vector<Step>{{400, {{1, 0.3f, 0.3f}, {2, 0.05f, 0.05f}}}, {430, {{1, 0.3f, 0.3f}}}, {460, {}}},
         {Many, Many}, 0},
        {"two fingers landing together, the one listed first lifting first",
         std::vector<Step>{{400, {{2, 0.05f, 0.05f}, {1, 0.3f, 0.3f}}}, {430, {{1, 0.3f, 0.3f}}}, {460, {}}},
         {Many, Many}, 0},
        {"two fingers landing and lifting together",
         std::vector<Step>{{400, {{1, 0.05f, 0.05f}, {2, 0.1f, 0.1f}}}, {430, {{1, 0.05f, 0.05f}, {2, 0.1f, 0.1f}}},
                           {460, {}}},
         {Many}, 0},
        {"a tap within the first 300 ms after the target turned red", Tap(1, 0.05f, 0.05f, 100), {}, 0},
        {"a double tap: the second lands right after the first took its point",
         Tap(1, 0.05f, 0.05f, 400) + Tap(2, 0.05f, 0.05f, 520), {T}, 1},
        {"a double tap spaced out: too close to the point already taken",
         Tap(1, 0.05f, 0.05f, 400) + Tap(2, 0.06f, 0.07f, 1000) + Tap(3, 0.05f, 0.95f, 1500), {T, Close, T}, 2},
        {"the finger that took a point, still down when the next target turns red",
         std::vector<Step>{{400, {{1, 0.05f, 0.05f}}}, {430, {{1, 0.05f, 0.05f}}}, {460, {}},
                           {1000, {{2, 0.05f, 0.95f}}}, {1030, {}}},
         {T, T}, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Outcome run = Play(r.steps);
        EXPECT_EQ(run.verdicts, r.verdicts);
        EXPECT_EQ(run.target, r.target);
    }
}

TEST(TapJudge, AcceptsEveryMountingAndRefusesAMisplacedCorner) {
    struct Row {
        const char* name;
        const float (*corners)[2];
        std::vector<TapVerdict> verdicts;
        int32_t target;
    } rows[] = {
        {"upright", kUpright, {T, T, T, T}, 4},
        {"mirrored", kMirrored, {T, T, T, T}, 4},
        {"rotated by 90 degrees", kRotated90, {T, T, T, T}, 4},
        {"axes swapped", kSwapped, {T, T, T, T}, 4},
        {"one tap in the middle of the screen", kOneInTheMiddle, {T, T, T, Shape}, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Outcome run = Play(FourTaps(r.corners));
        EXPECT_EQ(run.verdicts, r.verdicts);
        ASSERT_EQ(run.target, r.target);
        for (int k = 0; k < 4; ++k) {
            const uint16_t x = run.target == 4 ? CalibTouchValue(r.corners[k][0]) : 0;
            const uint16_t y = run.target == 4 ? CalibTouchValue(r.corners[k][1]) : 0;
            EXPECT_EQ(run.points[k].x, x) << k;
            EXPECT_EQ(run.points[k].y, y) << k;
        }
    }
}

TEST(TapJudge, AfterAWrongShapeTheNextFourTapsStartAgainAndPointsBeforeNoLongerCount) {
    // The refused run's first point (top-left) must not make the new top-left tap "too close".
    const Outcome run = Play(FourTaps(kOneInTheMiddle) + FourTaps(kUpright, 3000, 10));
    EXPECT_EQ(run.verdicts, (std::vector<TapVerdict>{T, T, T, Shape, T, T, T, T}));
    EXPECT_EQ(run.target, 4);
    EXPECT_EQ(run.points[2].x, CalibTouchValue(0.95f));
}

TEST(TapJudge, FollowsTouchesThroughTheStreamReaderOfARealProducer) {
    // A resting touch (session 5) that the producer names in every "alive" but sends no more
    // "set" for, and a tap (session 6) beside it, in the stream's own XML.
    auto packet = [](const std::string& alive, const std::string& set) {
        std::string p = "<OSC><MESSAGE NAME=\"/tuio/2Dcur\"><ARGUMENT TYPE=\"s\" VALUE=\"alive\" />" + alive +
                        "</MESSAGE>";
        if (!set.empty()) p += "<MESSAGE NAME=\"/tuio/2Dcur\"><ARGUMENT TYPE=\"s\" VALUE=\"set\" />" + set + "</MESSAGE>";
        return p + "</OSC>";
    };
    auto id = [](int n) { return "<ARGUMENT TYPE=\"i\" VALUE=\"" + std::to_string(n) + "\" />"; };
    auto f = [](const char* v) { return std::string("<ARGUMENT TYPE=\"f\" VALUE=\"") + v + "\" />"; };
    auto moved = [&](int n, const char* x, const char* y) {
        return id(n) + f(x) + f(y) + f("0") + f("0") + f("0");
    };
    const std::vector<std::pair<uint64_t, std::string>> stream = {
        {0, packet(id(5), moved(5, "0.5", "0.98"))},
        {200, packet(id(5), "")},
        {400, packet(id(5) + id(6), moved(6, "0.05", "0.05"))},
        {430, packet(id(5) + id(6), "")},
        {460, packet(id(5), "")},
        {900, packet(id(5), "")},
    };
    TapJudge judge;
    judge.Begin(0);
    TuioDecoder decoder;
    VexoGroup<VexoTUIOTouch_Ele> set;
    std::vector<TapVerdict> verdicts;
    for (const auto& [at, text] : stream) {
        ASSERT_EQ(decoder.Decode(text, set), TuioDecodeResult::Touches) << text;
        std::vector<TapTouch> touches;
        for (int32_t k = 0; k < set.Count(); ++k) touches.push_back({set.Get(k)->id, set.Get(k)->x, set.Get(k)->y});
        const TapVerdict v = judge.OnTouchSet(touches, at);
        if (v != TapVerdict::None) verdicts.push_back(v);
    }
    EXPECT_EQ(verdicts, std::vector<TapVerdict>{T});
    EXPECT_EQ(judge.CurrentTarget(), 1);
    EXPECT_EQ(judge.Point(0).x, CalibTouchValue(0.05f));
}
