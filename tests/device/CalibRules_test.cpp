#include "device/CalibRules.h"
#include "device/TapJudge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>
#include "support/PackedValue.h"

using namespace VexoSource;

namespace {

size_t OffsetOf(const CalibrationRecord& record, const CalibrationPoint& point) {
    return static_cast<size_t>(reinterpret_cast<const char*>(&point) - reinterpret_cast<const char*>(&record));
}

TEST(CalibRules, TargetsFollowTheCornersInTheOrderShown) {
    struct Row {
        int32_t w, h, index;
        int32_t anchorX, anchorY, signX, signY, centreX, centreY;
        size_t slot;
    };
    const Row rows[] = {
        {1920, 1080, 0, 40, 40, 1, 1, 65, 65, 4},
        {1920, 1080, 1, 40, 1040, 1, -1, 65, 1015, 20},
        {1920, 1080, 2, 1880, 1040, -1, -1, 1855, 1015, 28},
        {1920, 1080, 3, 1880, 40, -1, 1, 1855, 65, 12},
        {800, 600, 2, 760, 560, -1, -1, 735, 535, 28},
        {800, 600, 3, 760, 40, -1, 1, 735, 65, 12},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.w << "x" << r.h << " target " << r.index);
        const CalibTarget t = CalibTargetAt(r.index, r.w, r.h);
        EXPECT_EQ(t.anchorX, r.anchorX);
        EXPECT_EQ(t.anchorY, r.anchorY);
        EXPECT_EQ(t.signX, r.signX);
        EXPECT_EQ(t.signY, r.signY);
        EXPECT_EQ(t.centreX, r.centreX);
        EXPECT_EQ(t.centreY, r.centreY);
        // The cross drawn from the anchor meets at the centre.
        EXPECT_EQ(t.anchorX + t.signX * kCalibCrossLength / 2, t.centreX);
        EXPECT_EQ(t.anchorY + t.signY * kCalibCrossLength / 2, t.centreY);

        CalibrationRecord record{};
        EXPECT_EQ(OffsetOf(record, CalibSlot(record, r.index)), r.slot);
    }
}

TEST(CalibRules, ScreenValuesAreTruncatedAndNeverWrap) {
    struct Row {
        int32_t centre, extent;
        uint16_t expected;
    };
    const Row rows[] = {
        {65, 1920, 1109},     // 1109.27
        {65, 1080, 1972},     // 1972.1
        {1855, 1920, 31657},  // 31657.7
        {1015, 1080, 30794},  // 30794.8
        {960, 1920, 16383},   // half: 16383.5
        {1920, 1920, 32767},
        {0, 1920, 0},
        {-15, 50, 0},         // a screen narrower than the targets: clamped, not wrapped to 65xxx
        {2000, 1920, 32767},
        {65, 0, 0},           // no screen size at all
        {65, -5, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(CalibScreenValue(r.centre, r.extent), r.expected) << r.centre << "/" << r.extent;
    }
}

TEST(CalibRules, TouchValuesAreClampedToTheUnitRangeThenTruncated) {
    struct Row {
        float value;
        uint16_t expected;
    };
    const Row rows[] = {
        {0.5f, 16383},
        {0.25f, 8191},
        {0.0f, 0},
        {1.0f, 32767},
        {0.271875f, 8908},
        {-8.195638E-5f, 0},  // a real stream value just off the edge
        {-0.5f, 0},
        {1.5f, 32767},
        {3.0f, 32767},       // unclamped this would wrap to 32765
        {std::numeric_limits<float>::infinity(), 32767},
        {-std::numeric_limits<float>::infinity(), 0},
        {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(CalibTouchValue(r.value), r.expected) << r.value;
    }
}

// Four clean taps, 500 ms apart, through the tap judge: each touch value lands in its record
// slot, the screen values are the target centres, and a fifth tap changes nothing.
TEST(CalibRules, FourTapsFillTheRecordSlotsForTheScreenSize) {
    const float taps[4][2] = {{0.03f, 0.06f}, {0.04f, 0.94f}, {0.96f, 0.93f}, {0.97f, 0.05f}};
    TapJudge judge;
    judge.Begin(0);
    uint64_t t = 400;
    auto tap = [&](int32_t id, float x, float y) {
        judge.OnTouchSet({{id, x, y}}, t);
        judge.OnTouchSet({}, t + 50);
        t += 500;
    };
    for (int k = 0; k < 4; ++k) tap(k + 1, taps[k][0], taps[k][1]);
    ASSERT_EQ(judge.CurrentTarget(), 4);

    // Touch values: each tap's position x 32767, truncated. Screen values: the target centres
    // (65, 65), (65, 1015), (1855, 1015), (1855, 65) of a 1920 x 1080 screen, likewise. The
    // targets are shown top left, bottom left, bottom right, top right.
    CalibrationRecord expected{};
    expected.topLeft = {983, 1966, 1109, 1972};
    expected.bottomLeft = {1310, 30800, 1109, 30794};
    expected.bottomRight = {31456, 30473, 31657, 30794};
    expected.topRight = {31783, 1638, 31657, 1972};
    CalibrationRecord record = judge.Record(1920, 1080);
    EXPECT_EQ(std::memcmp(&record, &expected, sizeof(expected)), 0);
    EXPECT_EQ(Value(record.enabled), 0u);

    tap(9, 0.5f, 0.5f);
    EXPECT_EQ(judge.CurrentTarget(), 4);
    record = judge.Record(1920, 1080);
    EXPECT_EQ(std::memcmp(&record, &expected, sizeof(expected)), 0);

    // Another screen size: the screen values follow it.
    record = judge.Record(1280, 1024);
    EXPECT_EQ(Value(record.topLeft.screenX), 1663);  // 65 / 1280 of 32767
    EXPECT_EQ(Value(record.topLeft.screenY), 2079);  // 65 / 1024 of 32767
}

}  // namespace
