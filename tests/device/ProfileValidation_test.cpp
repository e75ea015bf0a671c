// The values of a profile checked before an import writes it: each hostile value refused with the
// record named and nothing handed on, the values a device really holds accepted.
#include "device/ProfileValidation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "device/CalibRules.h"
#include "foundation/PrintableText.h"
#include "support/TakenCalibration.h"

using namespace VexoSource;

namespace {

// A calibration as the window takes it on a 1920 x 1080 screen; the glass mounted mirrored left to
// right (its x grows leftwards), which no rule may take for a fault.
CalibrationRecord MirroredCalibration() {
    return TakenCalibration(1920, 1080, [](int32_t k, CalibrationPoint& p) {
        p.touchX = uint16_t(kCalibScale - p.screenX + 120 * k);  // a few units astray per tap
        p.touchY = uint16_t(p.screenY + 90 * k);
    });
}

DeviceProfile GoodProfile() {
    DeviceProfile p;
    p.device = "0102030405060708";
    p.config.multiTouchMode = 1;
    p.effects.reserved12 = 0.05f;
    p.effects.rightClick = 1;
    p.effects.msRClickDelay = 850;  // stored by hand on the device: not a whole slider step
    p.effects.msRDClickRange = 0.3f;
    p.effects.msDClickDelay = 500;
    p.effects.smoothValue = 6;
    p.calibration = MirroredCalibration();
    MultiConfigRecord pen{};
    pen.itemId = 2;
    pen.length = kMultiConfigFollowing;
    pen.mark = kMultiConfigMark;
    pen.SetDataWord(0, 1);
    p.items[2] = pen;
    MultiConfigRecord orientation = pen;
    orientation.itemId = 13;
    orientation.SetDataWord(0, 28);
    orientation.SetDataWord(1, 3);
    p.items[13] = orientation;
    return p;
}

void AllOnOneSpot(CalibrationRecord& c) {
    for (CalibrationPoint* p : {&c.topLeft, &c.topRight, &c.bottomLeft, &c.bottomRight}) p->touchX = 16000, p->touchY = 16000;
}

}  // namespace

TEST(ProfileValidation, RefusesEachValueNoFaceWouldWriteAndNamesTheRecord) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        const char* name;
        std::function<void(DeviceProfile&)> change;
        const char* record;
        const char* says;
    } rows[] = {
        {"click range NaN", [&](DeviceProfile& p) { p.effects.msRDClickRange = nan; }, "records.effects", "not a number"},
        {"click range infinite", [](DeviceProfile& p) { p.effects.msRDClickRange = INFINITY; }, "records.effects", "not a number"},
        {"click range above the slider", [](DeviceProfile& p) { p.effects.msRDClickRange = 0.6f; }, "records.effects", "outside 0.1 to 0.5"},
        {"click range zero", [](DeviceProfile& p) { p.effects.msRDClickRange = 0.0f; }, "records.effects", "outside 0.1 to 0.5"},
        {"right-click duration short", [](DeviceProfile& p) { p.effects.msRClickDelay = 799; }, "records.effects", "799 ms, outside 800 to 3200"},
        {"right-click duration long", [](DeviceProfile& p) { p.effects.msRClickDelay = 3201; }, "records.effects", "outside 800 to 3200"},
        {"double-click speed", [](DeviceProfile& p) { p.effects.msDClickDelay = 0xFFFFFFFF; }, "records.effects", "outside 300 to 700"},
        {"smoothing", [](DeviceProfile& p) { p.effects.smoothValue = 7; }, "records.effects", "smoothing is 7"},
        {"right-click flag", [](DeviceProfile& p) { p.effects.rightClick = 2; }, "records.effects", "not 0 or 1"},
        {"both mode flags off", [](DeviceProfile& p) { p.config.multiTouchMode = 0; }, "records.device_config", "exactly one"},
        {"both mode flags on", [](DeviceProfile& p) { p.config.mouseMode = 1; }, "records.device_config", "exactly one"},
        {"mode flag 2", [](DeviceProfile& p) { p.config.multiTouchMode = 2; }, "records.device_config", "exactly one"},
        {"calibration on one spot", [](DeviceProfile& p) { AllOnOneSpot(p.calibration); }, "records.calibration", "touch points"},
        {"calibration corners swapped",
         [](DeviceProfile& p) { std::swap(p.calibration.topLeft.touchX, p.calibration.topRight.touchX); },
         "records.calibration", "touch points"},
        {"calibration on a line",
         [](DeviceProfile& p) {
             // Distinct, sides long enough, the fourth corner where it belongs: still no area.
             CalibrationRecord& c = p.calibration;
             c.topLeft.touchX = 1000, c.bottomLeft.touchX = 11000, c.topRight.touchX = 21000, c.bottomRight.touchX = 31000;
             c.topLeft.touchY = c.bottomLeft.touchY = c.topRight.touchY = c.bottomRight.touchY = 5000;
         },
         "records.calibration", "touch points"},
        {"screen points on one spot",
         [](DeviceProfile& p) {
             for (CalibrationPoint* q : {&p.calibration.topLeft, &p.calibration.topRight, &p.calibration.bottomLeft, &p.calibration.bottomRight})
                 q->screenX = q->screenY = 100;
         },
         "records.calibration", "screen points"},
        {"calibration beyond the scale", [](DeviceProfile& p) { p.calibration.bottomRight.touchX = 40000; }, "records.calibration", "beyond"},
        {"calibration flag 7", [](DeviceProfile& p) { p.calibration.enabled = 7; }, "records.calibration", "not 0 or 1"},
        {"orientation 4", [](DeviceProfile& p) { p.items[13].SetDataWord(1, 4); }, "records.multi_config.13", "no display has"},
        {"orientation item length", [](DeviceProfile& p) { p.items[13].SetDataWord(0, 0); }, "records.multi_config.13", "item length"},
        {"pen flag 5", [](DeviceProfile& p) { p.items[2].SetDataWord(0, 5); }, "records.multi_config.2", "not 0 or 1"},
        {"record length", [](DeviceProfile& p) { p.items[2].length = 4000; }, "records.multi_config.2", "length field"},
        {"device too short", [](DeviceProfile& p) { p.device = "01020304"; }, "device", "16 hexadecimal digits"},
        {"device not hexadecimal", [](DeviceProfile& p) { p.device = "01020304050607zz"; }, "device", "16 hexadecimal digits"},
        {"device with terminal controls", [](DeviceProfile& p) { p.device = "\x1b]0;owned\x07\x1b[2J"; }, "device", "\\x1b]0;owned\\x07"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        DeviceProfile p = GoodProfile();
        r.change(p);
        std::string problem;
        EXPECT_FALSE(ValidateProfile(p, problem));
        EXPECT_EQ(problem.rfind(std::string(r.record) + ": ", 0), 0u) << problem;
        EXPECT_NE(problem.find(r.says), std::string::npos) << problem;
        for (char c : problem) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << problem;
    }
}

TEST(ProfileValidation, AcceptsWhatDevicesHold) {
    struct Row {
        const char* name;
        std::function<void(DeviceProfile&)> change;
    } rows[] = {
        {"as taken", [](DeviceProfile&) {}},
        {"slider ends", [](DeviceProfile& p) {
             p.effects.msRClickDelay = 3200, p.effects.msDClickDelay = 300, p.effects.msRDClickRange = 0.1f;
             p.effects.smoothValue = 0;
         }},
        {"largest click range", [](DeviceProfile& p) { p.effects.msRDClickRange = 0.5f; }},
        {"mouse mode", [](DeviceProfile& p) { p.config.multiTouchMode = 0, p.config.mouseMode = 1; }},
        // Off: the device does not use the points, whatever they hold (a manufacturer reset keeps them).
        {"calibration off", [](DeviceProfile& p) { p.calibration.enabled = 0, AllOnOneSpot(p.calibration); }},
        {"no items", [](DeviceProfile& p) { p.items.clear(); }},
        {"upper-case identifier", [](DeviceProfile& p) { p.device = "0A0B0C0D0E0F1011"; }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        DeviceProfile p = GoodProfile();
        r.change(p);
        std::string problem;
        EXPECT_TRUE(ValidateProfile(p, problem)) << problem;
    }
}

TEST(ProfileValidation, ImportReadsThenChecksAndLeavesTheProfileUntouchedOnRefusal) {
    DeviceProfile bad = GoodProfile();
    bad.effects.msRDClickRange = std::numeric_limits<float>::quiet_NaN();
    DeviceProfile kept;
    kept.device = "kept";
    std::string problem;
    EXPECT_EQ(ProfileForImport(ProfileToJson(bad, "test"), kept, problem), ProfileProblem::BadRecord);
    EXPECT_EQ(kept.device, "kept");
    EXPECT_NE(problem.find("records.effects"), std::string::npos) << problem;

    // A hostile key is named without its control characters.
    std::string text = ProfileToJson(GoodProfile(), "test");
    text.replace(text.find("\"13\""), 4, "\"\\u001b[2J\"");
    EXPECT_EQ(ProfileForImport(text, kept, problem), ProfileProblem::BadRecord);
    EXPECT_EQ(problem.find('\x1b'), std::string::npos) << problem;
    EXPECT_NE(problem.find("\\x1b[2J"), std::string::npos) << problem;

    ASSERT_EQ(ProfileForImport(ProfileToJson(GoodProfile(), "test"), kept, problem), ProfileProblem::None) << problem;
    EXPECT_EQ(kept.device, "0102030405060708");
}

TEST(PrintableText, EscapesControlsAndBrokenUtf8AndCutsLongText) {
    struct Row {
        const char* name;
        std::string in;
        std::string out;
    } rows[] = {
        {"plain", "0102030405060708", "0102030405060708"},
        {"escape sequence", "a\x1b[2Jb", "a\\x1b[2Jb"},
        {"newline and DEL", "a\nb\x7f", "a\\x0ab\\x7f"},
        {"UTF-8 kept", "\xe4\xb8\xad\xe6\x96\x87", "\xe4\xb8\xad\xe6\x96\x87"},
        {"C1 control", "a\xc2\x9b" "2J", "a\\xc2\\x9b2J"},
        {"lone continuation byte", "\x80", "\\x80"},
        {"overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
        {"cut", std::string(100, 'x'), std::string(80, 'x') + "..."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(PrintableText(r.in), r.out);
    }
}
