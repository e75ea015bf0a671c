// The simulated frame's mounting and the service's mapping through a calibration record: what
// the display-position taps of the calibration tests rest on.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "device/CalibRules.h"
#include "touchsim/DeviceModel.h"
#include "touchsim/FrameMounting.h"
#include "support/MountedCalibration.h"

using namespace touchsim;
using namespace VexoSource;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

CalibrationRecord RecordFor(const touchsim::FrameMounting& m) {
    return testsupport::ExactCalibration(m, kWidth, kHeight);
}

double PixelError(const FrameMounting& m, const CalibrationRecord& r, double px, double py) {
    const StreamPosition raw = RawFromDisplay(m, px / kWidth, py / kHeight);
    const StreamPosition out = ReportedFromRaw(r, raw.x, raw.y);
    return std::hypot(out.x * kWidth - px, out.y * kHeight - py);
}

const double kPoints[][2] = {{960, 540}, {65, 65}, {1855, 1015}, {300, 900}, {1700, 200}, {0, 0}, {1919, 1079}};

}  // namespace

// For every way a frame can sit (4 turns x mirror, with an offset and scale), a record taken at
// the target centres maps every display point back onto itself; the same record with two slots
// swapped or with the touch axes swapped does not (so the round trip can catch a record built in
// the wrong order), and with the calibration off the raw position comes through.
TEST(TouchsimMounting, AnExactRecordMapsEveryMountingBackOntoTheDisplay) {
    for (int turn : {0, 90, 180, 270}) {
        for (bool mirrored : {false, true}) {
            FrameMounting m;
            m.turn = turn;
            m.mirrored = mirrored;
            m.offsetX = 0.04, m.offsetY = 0.1, m.scaleX = 0.9, m.scaleY = 0.85;
            SCOPED_TRACE(DescribeMounting(m));
            const CalibrationRecord exact = RecordFor(m);
            for (const auto& p : kPoints) EXPECT_LT(PixelError(m, exact, p[0], p[1]), 1.0) << p[0] << "," << p[1];

            CalibrationRecord swapped = exact;
            std::swap(swapped.topRight, swapped.bottomLeft);
            EXPECT_GT(PixelError(m, swapped, 300, 900), 100.0);
            CalibrationRecord transposed = exact;
            for (CalibrationPoint* p : {&transposed.topLeft, &transposed.topRight, &transposed.bottomLeft,
                                        &transposed.bottomRight})
                std::swap(p->touchX, p->touchY);
            EXPECT_GT(PixelError(m, transposed, 300, 900), 10.0);
            CalibrationRecord off = exact;
            off.enabled = 0;
            const StreamPosition raw = RawFromDisplay(m, 0.25, 0.75);
            const StreamPosition reported = ReportedFromRaw(off, raw.x, raw.y);
            EXPECT_EQ(reported.x, raw.x);
            EXPECT_EQ(reported.y, raw.y);
        }
    }
}

TEST(TouchsimMounting, TurnsAndMirrorMoveTheDisplaysCornersToTheNamedRawCorners) {
    struct Case {
        const char* name;
        int turn;
        bool mirrored;
        double u, v, rawX, rawY;
    } cases[] = {
        {"plain top-right", 0, false, 1, 0, 1, 0},
        {"quarter turn: top-right to bottom-right", 90, false, 1, 0, 0, 0},
        {"quarter turn: top-left", 90, false, 0, 0, 0, 1},
        {"half turn: top-left to bottom-right", 180, false, 0, 0, 1, 1},
        {"three quarters: top-left to top-right", 270, false, 0, 0, 1, 0},
        {"mirrored: top-left to top-right", 0, true, 0, 0, 1, 0},
        {"mirrored quarter turn: top-left", 90, true, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrameMounting m;
        m.turn = c.turn;
        m.mirrored = c.mirrored;
        const StreamPosition raw = RawFromDisplay(m, c.u, c.v);
        EXPECT_DOUBLE_EQ(raw.x, c.rawX);
        EXPECT_DOUBLE_EQ(raw.y, c.rawY);
    }
}

// A written record takes effect at the reset, as the device re-initialises with it; the stream
// reports the first listed device's calibration in force.
TEST(TouchsimMounting, AWrittenRecordIsInForceOnlyAfterTheReset) {
    DeviceModel model;
    model.mounting.turn = 180;
    CalibrationRecord record = RecordFor(model.mounting);
    const StreamPosition before = model.ReportedAtDisplay(0.25, 0.25);
    EXPECT_DOUBLE_EQ(before.x, 0.75);  // raw: the half turn

    CallOutcome out = HandleCall(model, SetCalibration, reinterpret_cast<const uint8_t*>(&record), sizeof record, 1, true,
                                 SelectorOf(model.deviceIds[0]));
    ASSERT_EQ(out.reply, std::vector<uint8_t>{1});
    EXPECT_DOUBLE_EQ(model.ReportedAtDisplay(0.25, 0.25).x, 0.75);
    HandleCall(model, ResetDevice, nullptr, 0, 1, true, SelectorOf(model.deviceIds[0]));
    const StreamPosition after = model.ReportedAtDisplay(0.25, 0.25);
    EXPECT_NEAR(after.x, 0.25, 1.0 / kWidth);
    EXPECT_NEAR(after.y, 0.25, 1.0 / kHeight);
}

TEST(TouchsimMounting, ParsesTheMountCommandsWords) {
    struct Case {
        const char* text;
        bool ok;
        const char* described;
    } cases[] = {
        {"0", true, "0 0 0 1 1"},
        {"270 mirror", true, "270 mirror 0 0 1 1"},
        {"90 0.05 0.1 0.9 0.8", true, "90 0.05 0.1 0.9 0.8"},
        {"180 mirror 0 0 1 1", true, "180 mirror 0 0 1 1"},
        {"45", false, ""},
        {"90 flip", false, ""},
        {"90 0.1 0.1 0.9", false, ""},
        {"90 0.2 0 0.9 1", false, ""},
        {"90 0 0 -1 1", false, ""},
        {"90 0 0 nan 1", false, ""},
        {"90 0 0 1 1x", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        FrameMounting m;
        m.turn = 90;  // untouched on failure
        std::string error;
        EXPECT_EQ(ParseMounting(c.text, m, error), c.ok);
        if (c.ok)
            EXPECT_EQ(DescribeMounting(m), c.described);
        else {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(m.turn, 90);
        }
    }
}
