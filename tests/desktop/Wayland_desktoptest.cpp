// The program on a Wayland desktop (sway headless, GDK_BACKEND=wayland, no X display), the twin
// of the X scenarios in Desktop_desktoptest.cpp: the calibration screen read back with grim, taps
// through the touch stream, keys and clicks through a virtual keyboard and pointer, the service's
// calls read from touchsim's trace; and the screen's rotation told by the compositor reaching the
// device.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "desktop/Scenario.h"
#include "desktop/WaylandSession.h"

using desktop::Screenshot;
using desktop::WaylandSession;
using desktop::WindowInfo;

namespace {

using namespace desktop::scenario;

// A rotation reaches the device within two orientation checks (about every six seconds) and
// the pass's requests.
constexpr long long kRotationMs = 20000;
constexpr int kTargetInset = 65;  // target centres in from the screen's corners
// The confirmation box's buttons in its window as sway places it (the toolkit's own title bar
// above the body).
constexpr Point kBoxDone{85, 95};
constexpr Point kBoxCancel{175, 95};

// Target centres on a width x height screen in the order shown.
std::vector<Point> Targets(int width, int height) {
    const int l = kTargetInset, t = kTargetInset, r = width - kTargetInset, b = height - kTargetInset;
    return {{l, t}, {l, b}, {r, b}, {r, t}};
}

const char* const kLandscapeRecordHex = kNewRecordHex;
// The same taps on the output turned to portrait (1080 x 1920): the screen values follow it.
const char* const kPortraitRecordHex =
    "01000000"
    "ff0fff0fb4075504"   // top-left 4095, 4095, 1972, 1109
    "ff6fff0f4a785504"   // top-right 28671, 4095, 30794, 1109
    "ff0fff6fb407a97b"   // bottom-left 4095, 28671, 1972, 31657
    "ff6fff6f4a78a97b";  // bottom-right 28671, 28671, 30794, 31657

// An output's place in the screenshot (the layout).
struct Area {
    int x, y, width, height;
};

// The calibration screen over `a` with target `red` to touch next: the four target centres red
// or white, every other pixel of the area outside the targets' crosses black but for the guidance
// text in the middle, so nothing else shows there.
std::string CalibrationAreaProblem(const Screenshot& s, const Area& a, int red) {
    if (s.width < a.x + a.width || s.height < a.y + a.height)
        return "screen is " + std::to_string(s.width) + "x" + std::to_string(s.height);
    std::vector<Point> targets = Targets(a.width, a.height);
    for (Point& t : targets) t = Point{t.x + a.x, t.y + a.y};
    for (int k = 0; k < 4; ++k) {
        const desktop::Rgb c = s.At(targets[size_t(k)].x, targets[size_t(k)].y);
        if (k == red ? !c.IsRed() : !c.IsWhite()) return "target " + std::to_string(k) + " has the wrong colour";
    }
    auto inTarget = [&](int x, int y) {
        for (const Point& t : targets)
            if (std::abs(x - t.x) <= 30 && std::abs(y - t.y) <= 30) return true;
        return false;
    };
    // Between the targets' rows, from a quarter to three quarters of the height (on a portrait
    // screen its lines take nearly the whole width).
    auto inGuidance = [&](int, int y) { return y >= a.y + a.height / 4 && y < a.y + a.height * 3 / 4; };
    bool guidance = false;
    for (int y = a.y; y < a.y + a.height; ++y)
        for (int x = a.x; x < a.x + a.width; ++x) {
            if (inTarget(x, y) || s.At(x, y).IsBlack()) continue;
            if (!inGuidance(x, y)) return "pixel " + std::to_string(x) + "," + std::to_string(y) + " is not black";
            guidance = true;
        }
    if (!guidance) return "no guidance text";
    return "";
}

// The calibration screen over the whole of a width x height screenshot (one output).
std::string CalibrationScreenProblem(const Screenshot& s, int width, int height, int red) {
    if (s.width != width || s.height != height)
        return "screen is " + std::to_string(s.width) + "x" + std::to_string(s.height);
    return CalibrationAreaProblem(s, Area{0, 0, width, height}, red);
}


// The orientation in an orientation item as written (item 13, its data's second word), or -1.
int OrientationIn(const std::string& payloadHex) {
    if (payloadHex.size() != 96 || payloadHex.compare(0, 8, "0d000000") != 0) return -1;
    return int(std::strtoul(payloadHex.substr(32, 2).c_str(), nullptr, 16));
}

class WaylandDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        Prepare(session_);
        ASSERT_TRUE(session_.Start()) << session_.Error();
    }
    // What a scenario's desktop has beyond the usual (two outputs, XWayland), before it starts.
    virtual void Prepare(WaylandSession&) {}
    void TearDown() override {
        if (HasFailure()) std::printf("program output:\n%s\n", session_.ProgramStderr().c_str());
        if (HasFailure() && !shot_.pixels.empty()) {
            std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
            std::replace(name.begin(), name.end(), '/', '_');  // a parameter's name follows a slash
            const std::string path = "/tmp/qln-wayland-" + name + ".ppm";
            shot_.SavePpm(path);
            std::printf("last screenshot: %s\n", path.c_str());
        }
        // QLN_WAYLAND_SHOTS=folder keeps the screens a person should look at (see Keep).
    }

    // Writes the screen as it is now to $QLN_WAYLAND_SHOTS/name.png when that is set.
    void Keep(const std::string& name) {
        const char* folder = std::getenv("QLN_WAYLAND_SHOTS");
        if (folder && *folder) session_.SavePng(std::string(folder) + "/" + name + ".png");
    }

    // Launches the program and waits for its main window, which sway floats in the middle of the
    // output, and for it to have the keyboard.
    WindowInfo Launch() {
        EXPECT_TRUE(session_.LaunchProgram());
        WindowInfo main;
        const bool centred = faults::WaitFor(
            [&] {
                main = session_.WaitForWindow(kMainTitle, 0);
                return main.id != 0 && std::abs(main.x + main.width / 2 - 960) <= 40 &&
                       std::abs(main.y + main.height / 2 - 540) <= 40;
            },
            kWindowMs);
        EXPECT_TRUE(centred) << "main window at " << main.x << "," << main.y << " " << main.width << "x"
                             << main.height;
        EXPECT_TRUE(session_.WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_.FocusedWindow().name;
        return main;
    }
    void ClickIn(const WindowInfo& w, Point p) { EXPECT_TRUE(session_.Click(w.x + p.x, w.y + p.y)); }

    std::vector<std::string> CallsSince(size_t from) {
        std::vector<std::string> lines = session_.Sim().CallLines();
        if (from > lines.size()) from = lines.size();
        return std::vector<std::string>(lines.begin() + long(from), lines.end());
    }
    std::string WaitForCall(size_t from, const std::string& name, long long timeoutMs, size_t nth = 1) {
        std::string payload = "(none)";
        faults::WaitFor(
            [&] {
                size_t seen = 0;
                for (const std::string& l : CallsSince(from))
                    if (NameOf(l) == name && ++seen == nth) {
                        payload = PayloadOf(l);
                        return true;
                    }
                return false;
            },
            timeoutMs);
        return payload;
    }
    // Waits for an orientation item written since `from` with `orientation`; true when it came.
    bool WaitForOrientationWritten(size_t from, int orientation, long long timeoutMs) {
        return faults::WaitFor(
            [&] {
                for (const std::string& l : CallsSince(from))
                    if (NameOf(l) == "SetMultiConfig" && OrientationIn(PayloadOf(l)) == orientation) return true;
                return false;
            },
            timeoutMs);
    }
    size_t Mark() { return session_.Sim().CallLines().size(); }

    // Presses the calibration button and waits for the calibration screen over the whole output
    // with target 0 red and the keyboard.
    bool OpenCalibration(const WindowInfo& main, int width, int height) {
        ClickIn(main, kCalibrationButton);
        std::string problem;
        const bool covered = session_.WaitForScreen(
            [&](const Screenshot& s) { return (problem = CalibrationScreenProblem(s, width, height, 0)).empty(); },
            kCoverMs, &shot_);
        EXPECT_TRUE(covered) << "calibration screen: " << problem;
        EXPECT_TRUE(session_.WaitForFocus(kCalibTitle, kStepMs)) << "focus on " << session_.FocusedWindow().name;
        return covered;
    }
    // Four taps at a person's pace, each answered by the next target turning red: at the stream
    // positions of kTaps, or with `onTargets` on the targets' display positions, through the
    // simulated frame's mounting (its calibration in force switched off meanwhile).
    void TapFour(int width, int height, bool onTargets = false) {
        const std::vector<Point> targets = Targets(width, height);
        for (int k = 0; k < 4; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kTapPauseMs));
            char tap[64];
            std::snprintf(tap, sizeof tap, "dtap %.6f %.6f", (targets[size_t(k)].x + 0.5) / width,
                          (targets[size_t(k)].y + 0.5) / height);
            const std::string command = onTargets ? std::string(tap) : std::string(kTaps[k]);
            ASSERT_TRUE(session_.Sim().Command(command)) << command;
            if (k == 3) break;
            std::string problem;
            EXPECT_TRUE(session_.WaitForScreen(
                [&](const Screenshot& s) {
                    return (problem = CalibrationScreenProblem(s, width, height, k + 1)).empty();
                },
                kStepMs, &shot_))
                << "after tap " << k << ": " << problem;
        }
    }
    // The confirmation box over the check view, which still covers the output at `a`: the check
    // target red below the box, the corners black. Sway leaves its keyboard focus on the full-screen
    // calibration window (it focuses no window that maps over a full-screen one), but it shows the
    // box, the window's transient, above it, and the box is the program's modal window: the toolkit
    // hands it the keys that reach the program.
    WindowInfo WaitForBoxOverCheckView(const Area& a) {
        const WindowInfo box = session_.WaitForWindow(kKeepQuestion, kStepMs);
        EXPECT_NE(box.id, 0u) << "no confirmation box";
        std::string problem;
        EXPECT_TRUE(session_.WaitForScreen(
            [&](const Screenshot& s) {
                problem = CheckViewProblem(s, a.x, a.y, a.width, a.height, false);
                // The box itself shows: its face is not the covering black.
                if (problem.empty() && s.At(box.x + box.width / 2, box.y + 10).IsBlack()) problem = "the box is hidden";
                return problem.empty();
            },
            kStepMs, &shot_))
            << "check view: " << problem;
        return box;
    }
    // Return keeps the record.
    void KeepWithReturn(const Area& a) {
        ASSERT_NE(WaitForBoxOverCheckView(a).id, 0u);
        EXPECT_TRUE(session_.PressKey("Return"));
        ASSERT_TRUE(session_.WaitForNoWindow(kKeepQuestion, kStepMs));
    }

    void CloseWithDone(const WindowInfo& main) {
        ASSERT_TRUE(session_.WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_.FocusedWindow().name;
        ClickIn(main, kDoneButton);
        // Behind XWayland a press now and then presses no button (see the two-output scenario):
        // while the window is still there, a person presses again.
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!session_.WaitForNoWindow(kMainTitle, kExitMs / 3)) ClickIn(main, kDoneButton);
        }
        EXPECT_EQ(session_.WaitForProgramExit(kExitMs), 0);
    }

    void ExpectNoToolkitComplaints() {
        const std::string err = session_.ProgramStderr();
        EXPECT_EQ(err.find("Gtk-CRITICAL"), std::string::npos) << err;
        EXPECT_EQ(err.find("Gtk-WARNING"), std::string::npos) << err;
    }

    WaylandSession session_;
    Screenshot shot_;
};

// A user calibrates with four taps and keeps the result with Return, calibrates again and leaves
// with Escape: the first record stays, the second attempt puts it back.
TEST_F(WaylandDesktop, CalibrationCoversTheOutputTakesFourTapsAndEscapePutsTheRecordBack) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";

    size_t mark = Mark();
    ASSERT_TRUE(OpenCalibration(main, 1920, 1080));
    Keep("calibration-upright");
    TapFour(1920, 1080);
    KeepWithReturn(Area{0, 0, 1920, 1080});
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 2), kLandscapeRecordHex);
    EXPECT_TRUE(session_.WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_.FocusedWindow().name;
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", 500, 3), "(none)") << "the kept record was not written over";

    mark = Mark();
    ASSERT_TRUE(OpenCalibration(main, 1920, 1080));
    std::this_thread::sleep_for(std::chrono::milliseconds(kTapPauseMs));
    ASSERT_TRUE(session_.Sim().Command(kTaps[0]));
    ASSERT_TRUE(session_.WaitForScreen(
        [](const Screenshot& s) { return CalibrationScreenProblem(s, 1920, 1080, 1).empty(); }, kStepMs, &shot_));
    EXPECT_TRUE(session_.PressKey("Escape"));
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 1), kZeroRecordHex) << "switched off while calibrating";
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 2), kLandscapeRecordHex) << "the saved record put back";
    EXPECT_NE(WaitForCall(mark, "ResetDevice", kStepMs, 2), "(none)") << "the device reset after the restore";
    EXPECT_TRUE(session_.WaitForNoWindow(kCalibTitle, kStepMs));
    EXPECT_TRUE(session_.WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_.FocusedWindow().name;
    EXPECT_TRUE(session_.WaitForScreen(
        [&](const Screenshot& s) { return !s.At(main.x + kDoneButton.x, main.y + kDoneButton.y).IsBlack(); },
        kStepMs, &shot_))
        << "main window visible again";

    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

// A kiosk without a keyboard, touch only: after the four taps the check view measures a tap on
// its target; Cancel, touched on the box, puts the previous record back, and a touch anywhere on
// "Touch anywhere to calibrate again" starts a new calibration, whose box is answered Done.
TEST_F(WaylandDesktop, TheCheckViewMeasuresATapAndATouchAfterCancelCalibratesAgain) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    const Area output{0, 0, 1920, 1080};

    size_t mark = Mark();
    ASSERT_TRUE(OpenCalibration(main, 1920, 1080));
    TapFour(1920, 1080, true);
    WindowInfo box = WaitForBoxOverCheckView(output);
    ASSERT_NE(box.id, 0u);
    // The check target's display position (960, 720), tapped through the simulated frame's
    // mounting and the new calibration: it lands on the target.
    ASSERT_TRUE(session_.Sim().Command("dtap 0.500260 0.667130"));
    std::string problem;
    EXPECT_TRUE(session_.WaitForScreen(
        [&](const Screenshot& s) { return (problem = CheckViewProblem(s, 0, 0, 1920, 1080, true)).empty(); }, kStepMs,
        &shot_))
        << "check view after a tap: " << problem;
    Keep("check-view");
    EXPECT_TRUE(faults::WaitFor(
        [&] {
            const std::string log = session_.ProgramStderr();
            return log.find("Calibration check: a tap 0 px from the check target (good)") != std::string::npos ||
                   log.find("Calibration check: a tap 1 px from the check target (good)") != std::string::npos;
        },
        kStepMs))
        << session_.ProgramStderr();

    // Cancel, touched: the record the frame had before goes back, and the screen stays covered
    // with the offer to calibrate again (no target, no box).
    ClickIn(box, kBoxCancel);
    ASSERT_TRUE(session_.WaitForNoWindow(kKeepQuestion, kStepMs));
    EXPECT_TRUE(faults::WaitFor([&] { return session_.ProgramStderr().find("the new calibration was cancelled") != std::string::npos; }, kStepMs))
        << "the box did not take the touch";
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 3), kZeroRecordHex) << "the saved record put back";
    EXPECT_TRUE(session_.WaitForScreen(
        [&](const Screenshot& s) {
            const Point t{960, 540 + 180};
            return s.At(t.x, t.y).IsBlack() && s.At(65, 65).IsBlack() && s.At(1855, 1015).IsBlack();
        },
        kStepMs, &shot_))
        << "the output not covered after Cancel";
    Keep("calibrate-again");

    // A touch anywhere: the targets again, the first one red.
    mark = Mark();
    ASSERT_TRUE(session_.Sim().Command("dtap 0.3 0.4"));
    EXPECT_TRUE(session_.WaitForScreen(
        [&](const Screenshot& s) { return (problem = CalibrationScreenProblem(s, 1920, 1080, 0)).empty(); },
        kStepMs, &shot_))
        << "calibration screen again: " << problem;
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 1), kZeroRecordHex) << "switched off again";
    TapFour(1920, 1080, true);
    box = WaitForBoxOverCheckView(output);
    ASSERT_NE(box.id, 0u);
    ClickIn(box, kBoxDone);
    ASSERT_TRUE(session_.WaitForNoWindow(kKeepQuestion, kStepMs));
    EXPECT_TRUE(faults::WaitFor([&] { return session_.ProgramStderr().find("the new calibration is kept") != std::string::npos; }, kStepMs))
        << "the box did not take the touch";
    EXPECT_NE(WaitForCall(mark, "SetCalibration", kStepMs, 2), "(none)");
    EXPECT_TRUE(session_.WaitForNoWindow(kCalibTitle, kStepMs));
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", 500, 3), "(none)") << "the kept record was not written over";

    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

// The factory question and the advanced settings dialog come up in front with the keyboard:
// Escape and Return answer the question No, Escape leaves the dialog.
TEST_F(WaylandDesktop, QuestionsAndDialogsAnswerTheKeyboard) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    // The watch's first pass writes the output's orientation and resets the device (late on a
    // loaded machine): past that, a reset can only come from the question.
    ASSERT_TRUE(WaitForOrientationWritten(0, 0, kRotationMs)) << "no orientation item written";
    ASSERT_NE(WaitForCall(0, "ResetDevice", kStepMs), "(none)") << "the watch's reset";

    for (const char* key : {"Escape", "Return"}) {
        SCOPED_TRACE(key);
        const size_t mark = Mark();
        ClickIn(main, kFactoryButton);
        ASSERT_TRUE(faults::WaitFor(
            [&] {
                const WindowInfo w = session_.FocusedWindow();
                return w.id != 0 && w.id != main.id;
            },
            kStepMs))
            << "the factory question takes the focus";
        EXPECT_TRUE(session_.PressKey(key));
        ASSERT_TRUE(session_.WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_.FocusedWindow().name;
        EXPECT_EQ(WaitForCall(mark, "SetDeviceConfig", 1000), "(none)") << "answered No";
        EXPECT_EQ(WaitForCall(mark, "ResetDevice", 200), "(none)");
    }

    ClickIn(main, kAdvancedButton);
    ASSERT_NE(session_.WaitForWindow("Advanced Setting", kStepMs).id, 0u) << "no advanced settings dialog";
    ASSERT_TRUE(session_.WaitForFocus("Advanced Setting", kStepMs)) << "focus on " << session_.FocusedWindow().name;
    EXPECT_TRUE(session_.PressKey("Escape"));
    EXPECT_TRUE(session_.WaitForNoWindow("Advanced Setting", kStepMs));

    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

// The device goes away while the window is up: the window hides and the message about it, a box
// with no window to stand over, comes up in the middle of the output with the keyboard; Return
// ends it and the program.
TEST_F(WaylandDesktop, TheMessageOfALostDeviceStandsInTheMiddleAndTakesTheKeyboard) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    ASSERT_TRUE(session_.Sim().Command("unplug"));

    WindowInfo box;
    const bool shown = faults::WaitFor(
        [&] {
            box = session_.FocusedWindow();
            return box.id != 0 && box.id != main.id && session_.FindWindows(kMainTitle).empty();
        },
        kLostMs);
    ASSERT_TRUE(shown) << "focus on '" << box.name << "'";
    const int dx = box.x + box.width / 2 - 960, dy = box.y + box.height / 2 - 540;
    EXPECT_TRUE(std::abs(dx) <= 40 && std::abs(dy) <= 40)
        << "message at " << box.x << "," << box.y << " " << box.width << "x" << box.height;

    EXPECT_TRUE(session_.PressKey("Return"));
    EXPECT_EQ(session_.WaitForProgramExit(kExitMs), 0);
    ExpectNoToolkitComplaints();
}

// The kiosk's screen is turned while the program runs. sway turns clockwise ("transform 90" is a
// quarter turn clockwise, the same turn as `xrandr --rotate right`) and tells its clients the
// protocol's counter-clockwise transform (270): the device gets the value X gives for that turn,
// 3. The calibration then covers the portrait output and its record's screen values follow it.
// A quarter turn the other way ("transform 270", `xrandr --rotate left`) gives 1, and upright
// again 0.
TEST_F(WaylandDesktop, RotatingTheOutputReachesTheDeviceAndTheCalibrationFollowsIt) {
    const WindowInfo before = Launch();
    ASSERT_NE(before.id, 0u) << "no main window";
    // touchsim holds no orientation item at first: the watch's first check writes an upright one.
    ASSERT_TRUE(WaitForOrientationWritten(0, 0, kRotationMs)) << "no upright orientation item written";

    size_t mark = Mark();
    ASSERT_TRUE(session_.Command("output HEADLESS-1 transform 90"));
    int width = 0, height = 0;
    ASSERT_TRUE(session_.OutputSize(width, height));
    ASSERT_EQ(width, 1080);
    ASSERT_EQ(height, 1920);
    ASSERT_TRUE(WaitForOrientationWritten(mark, 3, kRotationMs)) << "a clockwise quarter turn not written";
    EXPECT_NE(WaitForCall(mark, "ResetDevice", kStepMs), "(none)") << "the device re-initialised";

    // The window where sway has it on the turned output.
    const WindowInfo main = session_.WaitForWindow(kMainTitle, kStepMs);
    ASSERT_NE(main.id, 0u);
    ASSERT_TRUE(session_.WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_.FocusedWindow().name;
    mark = Mark();
    ASSERT_TRUE(OpenCalibration(main, 1080, 1920));
    Keep("calibration-rotated");
    TapFour(1080, 1920);
    KeepWithReturn(Area{0, 0, 1080, 1920});
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 2), kPortraitRecordHex);

    mark = Mark();
    ASSERT_TRUE(session_.Command("output HEADLESS-1 transform 270"));
    EXPECT_TRUE(WaitForOrientationWritten(mark, 1, kRotationMs)) << "an anticlockwise quarter turn not written";

    mark = Mark();
    ASSERT_TRUE(session_.Command("output HEADLESS-1 transform normal"));
    EXPECT_TRUE(WaitForOrientationWritten(mark, 0, kRotationMs)) << "the upright orientation not written back";

    const WindowInfo after = session_.WaitForWindow(kMainTitle, kStepMs);
    ASSERT_NE(after.id, 0u);
    CloseWithDone(after);
    ExpectNoToolkitComplaints();
}

// Two outputs, the second turned to portrait ("transform 90": 1024 x 1280 at 1920,0). The
// orientation written to the device is the one of the output the main window is on, whichever
// output is the first; and the calibration covers that output. Natively on Wayland, where a
// compositor rule sends every new calibration window to the first output (as a compositor may
// pick an output of its own for a new window: the program names the output it wants); and as an
// X program on sway's XWayland, whose RandR outputs are sway's, turned as they are.
class TwoOutputs : public WaylandDesktop, public ::testing::WithParamInterface<std::string> {
protected:
    void Prepare(WaylandSession& session) override {
        session.UseTwoOutputs();
        if (GetParam() == "xwayland")
            session.UseXWayland();
        else
            session.AddConfig("assign [title=\"^" + std::string(kCalibTitle) + "$\"] output HEADLESS-1");
    }
    // Moves the main window to an output as a person does with sway's keys, the keyboard going
    // with it, and waits until it is there; the window as sway then has it.
    WindowInfo MoveMainTo(const std::string& output, const Area& area) {
        const std::string criteria = "[title=\"" + std::string(kMainTitle) + "\"] ";
        EXPECT_TRUE(session_.Command(criteria + "move container to output " + output));
        EXPECT_TRUE(session_.Command(criteria + "focus"));
        // Until it has stayed there for half a second, as a person looks before clicking: an X
        // program may still move its window once it is activated there.
        WindowInfo main, last;
        auto since = std::chrono::steady_clock::now();
        EXPECT_TRUE(faults::WaitFor(
            [&] {
                main = session_.WaitForWindow(kMainTitle, 0);
                const bool there = main.id != 0 && main.x >= area.x && main.x + main.width <= area.x + area.width;
                if (!there || main.x != last.x || main.y != last.y) {
                    last = main;
                    since = std::chrono::steady_clock::now();
                    return false;
                }
                return faults::MsSince(since) >= 500;
            },
            kStepMs))
            << "main window at " << main.x << "," << main.y;
        return main;
    }
};

TEST_P(TwoOutputs, TheOrientationAndTheCalibrationAreThoseOfTheOutputTheWindowIsOn) {
    WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    ASSERT_TRUE(WaitForOrientationWritten(0, 0, kRotationMs)) << "no upright orientation item written";
    ASSERT_TRUE(session_.Command("output HEADLESS-2 transform 90"));
    Area first{}, second{};
    ASSERT_TRUE(session_.OutputRect("HEADLESS-1", first.x, first.y, first.width, first.height));
    ASSERT_TRUE(session_.OutputRect("HEADLESS-2", second.x, second.y, second.width, second.height));
    ASSERT_EQ(second.width, 1024);
    ASSERT_EQ(second.height, 1280);

    // The window goes to the turned output: its clockwise quarter turn reaches the device.
    size_t mark = Mark();
    main = MoveMainTo("HEADLESS-2", second);
    ASSERT_TRUE(WaitForOrientationWritten(mark, 3, kRotationMs)) << "the turned output's orientation not written";
    EXPECT_NE(WaitForCall(mark, "ResetDevice", kStepMs), "(none)") << "the device re-initialised";

    // The calibration covers the turned output, nothing of it shows on the first.
    ASSERT_TRUE(session_.WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_.FocusedWindow().name;
    // Behind XWayland a press on the moved window now and then reaches GTK and presses no button
    // (seen with xev: the press and the release arrive, the button stays up, the next press
    // works): the button is pressed again, as a person would, until the screen changes.
    mark = Mark();
    std::string problem;
    bool covered = false;
    for (int attempt = 0; attempt < 3 && !covered; ++attempt) {
        ClickIn(main, kCalibrationButton);
        covered = session_.WaitForScreen(
            [&](const Screenshot& s) { return (problem = CalibrationAreaProblem(s, second, 0)).empty(); },
            attempt < 2 ? kCoverMs / 3 : kCoverMs, &shot_);
    }
    ASSERT_TRUE(covered) << "calibration screen on the second output: " << problem;
    Keep("two-outputs-calibration-" + GetParam());
    // Granted by the compositor on that output, not sized over it by the program's fallback.
    EXPECT_EQ(session_.ProgramStderr().find("full screen not granted"), std::string::npos) << session_.ProgramStderr();
    for (const Point& t : Targets(first.width, first.height)) {
        const desktop::Rgb c = shot_.At(first.x + t.x, first.y + t.y);
        EXPECT_FALSE(c.IsRed() || c.IsWhite()) << "a target on the first output";
    }
    ASSERT_TRUE(session_.WaitForFocus(kCalibTitle, kStepMs)) << "focus on " << session_.FocusedWindow().name;
    for (int k = 0; k < 4; ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kTapPauseMs));
        ASSERT_TRUE(session_.Sim().Command(kTaps[k])) << kTaps[k];
        if (k == 3) break;
        EXPECT_TRUE(session_.WaitForScreen(
            [&](const Screenshot& s) { return (problem = CalibrationAreaProblem(s, second, k + 1)).empty(); },
            kStepMs, &shot_))
            << "after tap " << k << ": " << problem;
    }
    KeepWithReturn(second);
    // Screen values 65 pixels in on 1024 x 1280: 2079 and 30687 across, 1663 and 31103 down.
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 2),
              "01000000"
              "ff0fff0f1f087f06"
              "ff6fff0fdf777f06"
              "ff0fff6f1f087f79"
              "ff6fff6fdf777f79");

    // Back to the first output: its upright orientation is written again.
    mark = Mark();
    main = MoveMainTo("HEADLESS-1", first);
    EXPECT_TRUE(WaitForOrientationWritten(mark, 0, kRotationMs)) << "the first output's orientation not written back";

    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

INSTANTIATE_TEST_SUITE_P(Backends, TwoOutputs, ::testing::Values("wayland", "xwayland"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
