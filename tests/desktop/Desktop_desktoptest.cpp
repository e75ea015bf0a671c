// The program on a desktop, once per window manager (none, openbox, metacity, xfwm4): the
// calibration screen read back from the X server, taps through the touch stream, keys and clicks
// through XTEST, the service's calls read from touchsim's trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <initializer_list>
#include <chrono>
#include <thread>
#include <cstdio>
#include <string>
#include <vector>

#include "desktop/DesktopSession.h"
#include "desktop/Scenario.h"

using desktop::DesktopSession;
using desktop::Screenshot;
using desktop::WindowInfo;

namespace {

using namespace desktop::scenario;

// A display's place on the X screen.
struct Area {
    int x, y, width, height;
};
constexpr Area kFirstDisplay{0, 0, 1920, 1080};
constexpr Area kSecondDisplay{1920, 0, 1280, 1024};  // beside the first, with UseTwoDisplays

// Target centres in the order shown, 65 pixels in from the corners of the display calibrated.
Point TargetOn(const Area& a, int k) {
    const int left = a.x + 65, right = a.x + a.width - 65, top = a.y + 65, bottom = a.y + a.height - 65;
    const Point order[4] = {{left, top}, {left, bottom}, {right, bottom}, {right, top}};
    return order[k];
}
// The calibration screen on display `a` with target `red` to touch next (-1: none red): the four
// target centres red or white, every other pixel of the display outside the targets' crosses
// black but for the guidance lines in its middle, which must be there.
std::string CalibrationScreenProblem(const Screenshot& s, int red, const Area& a = kFirstDisplay) {
    if (s.width < a.x + a.width || s.height < a.y + a.height) return "screen is smaller than the display";
    for (int k = 0; k < 4; ++k) {
        const Point t = TargetOn(a, k);
        const desktop::Rgb c = s.At(t.x, t.y);
        if (k == red ? !c.IsRed() : !c.IsWhite()) return "target " + std::to_string(k) + " has the wrong colour";
    }
    auto inTarget = [&a](int x, int y) {
        for (int k = 0; k < 4; ++k) {
            const Point t = TargetOn(a, k);
            if (std::abs(x - t.x) <= 30 && std::abs(y - t.y) <= 30) return true;
        }
        return false;
    };
    // The guidance lines, in the middle of the display from a third of its height down.
    auto inGuidance = [&a](int x, int y) {
        return x >= a.x + a.width / 10 && x < a.x + a.width * 9 / 10 && y >= a.y + a.height * 31 / 100 &&
               y < a.y + a.height * 58 / 100;
    };
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

// True when the guidance shows a refusal: its line in amber (255, 210, 80; the other lines are
// grey, equal parts of each), antialiased at its edges.
bool ShowsRefusal(const Screenshot& s, const Area& a = kFirstDisplay) {
    for (int y = a.y + a.height * 31 / 100; y < a.y + a.height * 58 / 100; ++y)
        for (int x = a.x + a.width / 10; x < a.x + a.width * 9 / 10; ++x) {
            const desktop::Rgb c = s.At(x, y);
            if (c.r > 200 && c.g > 120 && c.b + 90 < c.r) return true;
        }
    return false;
}


class Desktop : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        session_.reset(new DesktopSession(GetParam()));
        Prepare(*session_);
        ASSERT_TRUE(session_->Start()) << session_->Error();
    }
    // What a scenario's desktop has beyond the usual (two displays), before it starts.
    virtual void Prepare(DesktopSession&) {}
    void TearDown() override {
        if (HasFailure() && session_) std::printf("program output:\n%s\n", session_->ProgramStderr().c_str());
        if (HasFailure() && !shot_.pixels.empty()) {
            const std::string path = "/tmp/qln-desktop-" + GetParam() + "-" +
                                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ppm";
            std::string clean = path;
            std::replace(clean.begin(), clean.end(), '/', '_');
            shot_.SavePpm("/tmp/" + clean.substr(5));
            std::printf("last screenshot: /tmp/%s\n", clean.substr(5).c_str());
        }
    }

    // Launches the program and waits for its main window, centred on the display whatever the
    // manager's placement policy.
    WindowInfo Launch() {
        EXPECT_TRUE(session_->LaunchProgram());
        WindowInfo main;
        const bool centred = faults::WaitFor(
            [&] {
                main = session_->WaitForWindow(kMainTitle, 0);
                return main.id != 0 && std::abs(main.x + main.width / 2 - 960) <= 40 &&
                       std::abs(main.y + main.height / 2 - 540) <= 40;
            },
            kWindowMs);
        EXPECT_TRUE(centred) << "main window at " << main.x << "," << main.y << " " << main.width << "x"
                             << main.height;
        // As a person does: click once the window is there, has the keyboard and stays put.
        EXPECT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
        const WindowInfo settled = session_->WaitForSettledWindow(kMainTitle, kStepMs);
        EXPECT_NE(settled.id, 0u) << "the main window did not settle";
        return settled.id != 0 ? settled : main;
    }
    void ClickIn(const WindowInfo& w, Point p) { session_->Click(w.x + p.x, w.y + p.y); }
    // Waits for another window than `main` to hold the keyboard focus (a message box has no
    // title to find it by); its id, or 0.
    XWindowId WaitForFocusAwayFrom(const WindowInfo& main) {
        XWindowId id = 0;
        faults::WaitFor(
            [&] {
                id = session_->FocusedWindow().id;
                return id != 0 && id != main.id;
            },
            kStepMs);
        return id != main.id ? id : 0;
    }

    // Calls received since `from` (an index into the call lines).
    std::vector<std::string> CallsSince(size_t from) {
        std::vector<std::string> lines = session_->Sim().CallLines();
        if (from > lines.size()) from = lines.size();
        return std::vector<std::string>(lines.begin() + long(from), lines.end());
    }
    // Waits until a call named `name` has come since `from`; its payload, or "(none)".
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
    std::vector<std::string> NamesSince(size_t from) {
        std::vector<std::string> names;
        for (const std::string& l : CallsSince(from)) names.push_back(NameOf(l));
        return names;
    }
    size_t Mark() { return session_->Sim().CallLines().size(); }

    // Presses the calibration button and waits for the calibration screen; true when it covers
    // the display with target 0 red, has the keyboard focus, and was there in time.
    bool OpenCalibration(const WindowInfo& main, const Area& display = kFirstDisplay) {
        ClickIn(main, kCalibrationButton);
        const auto clicked = std::chrono::steady_clock::now();
        std::string problem;
        const bool covered = session_->WaitForScreen(
            [&](const Screenshot& s) { return (problem = CalibrationScreenProblem(s, 0, display)).empty(); },
            kCoverMs, &shot_);
        // A figure for the log, not a bound: the bound above has room for a loaded machine.
        std::printf("calibration screen under %s after %lld ms\n", GetParam().c_str(), faults::MsSince(clicked));
        EXPECT_TRUE(covered) << "calibration screen under " << GetParam() << ": " << problem;
        EXPECT_TRUE(session_->WaitForFocus(kCalibTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
        return covered;
    }

    // Sends touchsim commands in turn, a person's pace apart (the first after a pause too).
    void Touch(std::initializer_list<const char*> commands) {
        for (const char* c : commands) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kTapPauseMs));
            ASSERT_TRUE(session_->Sim().Command(c)) << c;
        }
    }
    // Waits for the calibration screen to show target `red` next (and a refusal line when asked).
    void ExpectRed(int red, const std::string& after, bool refused = false, const Area& display = kFirstDisplay) {
        std::string problem;
        const bool ok = session_->WaitForScreen(
            [&](const Screenshot& s) {
                problem = CalibrationScreenProblem(s, red, display);
                if (problem.empty() && refused && !ShowsRefusal(s, display)) problem = "no refusal shown";
                return problem.empty();
            },
            kStepMs, &shot_);
        EXPECT_TRUE(ok) << "after " << after << ": " << problem;
        SaveShot(after);
    }
    // With QLN_DESKTOP_SHOTS set to a folder, keeps a screenshot for a person to look at.
    void SaveShot(const std::string& what) {
        const char* folder = getenv("QLN_DESKTOP_SHOTS");
        if (!folder || shot_.pixels.empty()) return;
        std::string name = GetParam() + "-" + what;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '-';
        shot_.SavePpm(std::string(folder) + "/" + name + ".ppm");
    }
    // The confirmation box in front with the keyboard: Return keeps the record.
    void KeepWithReturn() {
        ASSERT_NE(session_->WaitForWindow(kKeepQuestion, kStepMs).id, 0u) << "no confirmation box";
        ASSERT_TRUE(session_->WaitForFocus(kKeepQuestion, kStepMs)) << "focus on " << session_->FocusedWindow().name;
        shot_ = session_->Grab();
        SaveShot("confirmation box");
        session_->PressKey("Return");
        ASSERT_TRUE(session_->WaitForNoWindow(kKeepQuestion, kStepMs));
    }

    void CloseWithDone(const WindowInfo& main) {
        ASSERT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
        ClickIn(main, kDoneButton);
        EXPECT_EQ(session_->WaitForProgramExit(kExitMs), 0);
    }

    void ExpectNoToolkitComplaints() {
        const std::string err = session_->ProgramStderr();
        EXPECT_EQ(err.find("Gtk-CRITICAL"), std::string::npos) << err;
        EXPECT_EQ(err.find("Gtk-WARNING"), std::string::npos) << err;
    }

    std::unique_ptr<DesktopSession> session_;
    Screenshot shot_;
};

// A user calibrates with four taps and keeps the result with Return, calibrates again and leaves
// with Escape: the first record stays, the second attempt puts it back.
TEST_P(Desktop, CalibrationCoversTheDisplayTakesFourTapsAndEscapePutsTheRecordBack) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";

    size_t mark = Mark();
    ASSERT_TRUE(OpenCalibration(main));
    for (int k = 0; k < 4; ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kTapPauseMs));
        ASSERT_TRUE(session_->Sim().Command(kTaps[k])) << kTaps[k];
        if (k == 3) break;
        std::string problem;
        EXPECT_TRUE(session_->WaitForScreen(
            [&](const Screenshot& s) { return (problem = CalibrationScreenProblem(s, k + 1)).empty(); }, kStepMs,
            &shot_))
            << "after tap " << k << ": " << problem;
    }
    // The confirmation box comes up in front, with the keyboard, over the check view; a tap on the
    // check target is drawn and measured; Return keeps the record.
    ASSERT_NE(session_->WaitForWindow(kKeepQuestion, kStepMs).id, 0u) << "no confirmation box";
    ASSERT_TRUE(session_->WaitForFocus(kKeepQuestion, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    std::string problem;
    EXPECT_TRUE(session_->WaitForScreen(
        [&](const Screenshot& s) { return (problem = CheckViewProblem(s, 0, 0, 1920, 1080, false)).empty(); },
        kStepMs, &shot_))
        << "check view: " << problem;
    ASSERT_TRUE(session_->Sim().Command("dtap 0.5 0.6666667"));
    EXPECT_TRUE(session_->WaitForScreen(
        [&](const Screenshot& s) { return (problem = CheckViewProblem(s, 0, 0, 1920, 1080, true)).empty(); },
        kStepMs, &shot_))
        << "check view after a tap: " << problem;
    SaveShot("check view");
    session_->PressKey("Return");
    ASSERT_TRUE(session_->WaitForNoWindow(kKeepQuestion, kStepMs));
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 2), kNewRecordHex);
    EXPECT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", 500, 3), "(none)") << "the kept record was not written over";

    // Again, and Escape during the taps: the record of the first calibration goes back.
    mark = Mark();
    ASSERT_TRUE(OpenCalibration(main));
    std::this_thread::sleep_for(std::chrono::milliseconds(kTapPauseMs));
    ASSERT_TRUE(session_->Sim().Command(kTaps[0]));
    ASSERT_TRUE(session_->WaitForScreen([](const Screenshot& s) { return CalibrationScreenProblem(s, 1).empty(); },
                                        kStepMs, &shot_));
    session_->PressKey("Escape");
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 1), kZeroRecordHex) << "switched off while calibrating";
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 2), kNewRecordHex) << "the saved record put back";
    EXPECT_NE(WaitForCall(mark, "ResetDevice", kStepMs, 2), "(none)") << "the device reset after the restore";
    EXPECT_TRUE(session_->WaitForNoWindow(kCalibTitle, kStepMs));
    // The main window is back in front with the focus.
    EXPECT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    EXPECT_TRUE(session_->WaitForScreen(
        [&](const Screenshot& s) { return !s.At(main.x + kDoneButton.x, main.y + kDoneButton.y).IsBlack(); },
        kStepMs, &shot_))
        << "main window visible again";

    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

// Message boxes and dialogs come up in front with the keyboard: Escape answers No or Cancel,
// Return the default button.
TEST_P(Desktop, QuestionsAndDialogsAnswerTheKeyboard) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    // The watch's first pass writes the display's orientation and resets the device (late on a
    // loaded machine): past that, a reset can only come from the question.
    ASSERT_NE(WaitForCall(0, "ResetDevice", kStepMs), "(none)") << "the watch's reset";

    size_t mark = Mark();
    ClickIn(main, kFactoryButton);
    ASSERT_NE(WaitForFocusAwayFrom(main), 0u) << "the factory question takes the focus";
    session_->PressKey("Escape");
    ASSERT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    const std::vector<std::string> afterNo = NamesSince(mark);
    EXPECT_EQ(std::count(afterNo.begin(), afterNo.end(), "SetDeviceConfig"), 0) << "No resets nothing";

    mark = Mark();
    ClickIn(main, kFactoryButton);
    ASSERT_NE(WaitForFocusAwayFrom(main), 0u) << "the factory question takes the focus";
    // No is the default answer of a destructive question: Return resets nothing either.
    session_->PressKey("Return");
    ASSERT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    EXPECT_EQ(WaitForCall(mark, "SetDeviceConfig", 1000), "(none)") << "Return answered No";
    EXPECT_EQ(WaitForCall(mark, "ResetDevice", 1000), "(none)");

    // The advanced settings dialog, in front with the keyboard; Escape leaves it.
    ASSERT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    ClickIn(main, kAdvancedButton);
    ASSERT_NE(session_->WaitForWindow("Advanced Setting", kStepMs).id, 0u) << "no advanced settings dialog";
    ASSERT_TRUE(session_->WaitForFocus("Advanced Setting", kStepMs)) << "focus on " << session_->FocusedWindow().name;
    session_->PressKey("Escape");
    EXPECT_TRUE(session_->WaitForNoWindow("Advanced Setting", kStepMs));

    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

// The device goes away while the window is up: the window hides and the message about it is the
// only thing on the screen. It stands in the middle of the display with the keyboard, whether a
// window manager places it or not, and Return ends it and the program.
TEST_P(Desktop, TheMessageOfALostDeviceStandsInTheMiddleAndTakesTheKeyboard) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    ASSERT_TRUE(session_->Sim().Command("unplug"));

    // Noticed by the next watch pass, once its request has had no answer within its bound.
    WindowInfo box;
    const bool shown = faults::WaitFor(
        [&] {
            box = session_->FocusedWindow();
            return box.id != 0 && box.id != main.id && box.viewable && session_->FindWindows(kMainTitle).empty();
        },
        kLostMs);
    ASSERT_TRUE(shown) << "focus on '" << box.name << "'";
    const int dx = box.x + box.width / 2 - 960, dy = box.y + box.height / 2 - 540;
    EXPECT_TRUE(std::abs(dx) <= 40 && std::abs(dy) <= 40)
        << "message at " << box.x << "," << box.y << " " << box.width << "x" << box.height;

    session_->PressKey("Return");
    EXPECT_EQ(session_->WaitForProgramExit(kExitMs), 0);
    ExpectNoToolkitComplaints();
}

INSTANTIATE_TEST_SUITE_P(Managers, Desktop, ::testing::ValuesIn(desktop::WindowManagers()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// A kiosk: a touch screen, no keyboard in use and no window manager.
class Kiosk : public Desktop {};

// What an infrared frame sees besides the taps — a sleeve resting on the bezel, a double tap, a
// second finger, a tap in the wrong place — leaves the record of the four clean taps, and the
// screen says why a touch was not taken.
TEST_P(Kiosk, StrayTouchesAlongTheWayStillEndWithTheExactRecordOfTheCleanTaps) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    const size_t mark = Mark();
    ASSERT_TRUE(OpenCalibration(main));
    SaveShot("calibration screen");

    // A sleeve comes to rest on the top bezel and stays there through the first target's tap.
    Touch({"down 9 0.5 0.01", kTaps[0]});
    ExpectRed(1, "a tap beside a resting touch");
    // The same spot again: too close to the point already taken.
    Touch({kTaps[0]});
    ExpectRed(1, "a double tap", true);
    // Two fingers at once, the one on the target lifting first.
    Touch({"down 1 0.125 0.875", "down 2 0.6 0.6", "up 1", "up 2"});
    ExpectRed(1, "two fingers", true);
    Touch({kTaps[1]});
    ExpectRed(2, "the second tap");
    Touch({kTaps[2]});
    ExpectRed(3, "the third tap");
    // The fourth in the middle of the screen: no screen's corners; back to the first target.
    Touch({"tap 0.5 0.5"});
    ExpectRed(0, "a misplaced fourth tap", true);
    // The sleeve lifts while the first target is red again: it was down before, so it is no tap.
    Touch({"up 9"});
    ExpectRed(0, "the resting touch lifting");
    for (int k = 0; k < 4; ++k) {
        Touch({kTaps[k]});
        if (k < 3) ExpectRed(k + 1, std::string("clean tap ") + std::to_string(k));
    }
    KeepWithReturn();
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 2), kNewRecordHex);
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", 500, 3), "(none)") << "nothing else was written";
    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

// A kiosk without a keyboard, touch only: four taps on the targets' display positions; the check
// view measures a tap on its target (0 or 1 px, green); Cancel, touched on the box, puts the
// previous record back and leaves "Touch anywhere to calibrate again"; a touch anywhere starts a
// new calibration, whose box is answered Done by touch.
TEST_P(Kiosk, TheCheckViewMeasuresATapAndATouchAfterCancelCalibratesAgain) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    // The box's buttons in its client area (its fixed layout).
    constexpr Point kBoxDone{85, 95}, kBoxCancel{175, 95};
    const char* const kOnTargets[4] = {"dtap 0.034115 0.060648", "dtap 0.034115 0.940278", "dtap 0.966406 0.940278",
                                       "dtap 0.966406 0.060648"};  // (65, 65) ... on 1920 x 1080
    auto calibrateByTouch = [&] {
        for (int k = 0; k < 4; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kTapPauseMs));
            ASSERT_TRUE(session_->Sim().Command(kOnTargets[k])) << kOnTargets[k];
            if (k < 3) ExpectRed(k + 1, std::string("tap ") + std::to_string(k));
        }
    };
    auto boxOverCheckView = [&] {
        const WindowInfo box = session_->WaitForWindow(kKeepQuestion, kStepMs);
        std::string problem;
        EXPECT_TRUE(session_->WaitForScreen(
            [&](const Screenshot& s) { return (problem = CheckViewProblem(s, 0, 0, 1920, 1080, false)).empty(); },
            kStepMs, &shot_))
            << "check view: " << problem;
        return box;
    };

    size_t mark = Mark();
    ASSERT_TRUE(OpenCalibration(main));
    calibrateByTouch();
    WindowInfo box = boxOverCheckView();
    ASSERT_NE(box.id, 0u) << "no confirmation box";
    ASSERT_TRUE(session_->Sim().Command("dtap 0.500260 0.667130"));  // the check target, (960, 720)
    std::string problem;
    EXPECT_TRUE(session_->WaitForScreen(
        [&](const Screenshot& s) { return (problem = CheckViewProblem(s, 0, 0, 1920, 1080, true)).empty(); },
        kStepMs, &shot_))
        << "check view after a tap: " << problem;
    SaveShot("check view by touch");
    EXPECT_TRUE(faults::WaitFor(
        [&] {
            const std::string log = session_->ProgramStderr();
            return log.find("Calibration check: a tap 0 px from the check target (good)") != std::string::npos ||
                   log.find("Calibration check: a tap 1 px from the check target (good)") != std::string::npos;
        },
        kStepMs))
        << session_->ProgramStderr();

    ClickIn(box, kBoxCancel);
    ASSERT_TRUE(session_->WaitForNoWindow(kKeepQuestion, kStepMs));
    EXPECT_TRUE(faults::WaitFor([&] { return session_->ProgramStderr().find("the new calibration was cancelled") != std::string::npos; }, kStepMs))
        << "the box did not take the touch";
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 3), kZeroRecordHex) << "the saved record put back";
    EXPECT_TRUE(session_->WaitForScreen(
        [&](const Screenshot& s) {
            return s.At(960, 720).IsBlack() && s.At(65, 65).IsBlack() && s.At(1855, 1015).IsBlack() &&
                   s.At(main.x + kDoneButton.x, main.y + kDoneButton.y).IsBlack();
        },
        kStepMs, &shot_))
        << "the display not covered after Cancel";

    mark = Mark();
    ASSERT_TRUE(session_->Sim().Command("dtap 0.3 0.4"));
    ExpectRed(0, "a touch anywhere");
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 1), kZeroRecordHex) << "switched off again";
    calibrateByTouch();
    box = boxOverCheckView();
    ASSERT_NE(box.id, 0u) << "no confirmation box";
    ClickIn(box, kBoxDone);
    ASSERT_TRUE(session_->WaitForNoWindow(kKeepQuestion, kStepMs));
    EXPECT_TRUE(faults::WaitFor([&] { return session_->ProgramStderr().find("the new calibration is kept") != std::string::npos; }, kStepMs))
        << "the box did not take the touch";
    EXPECT_NE(WaitForCall(mark, "SetCalibration", kStepMs, 2), "(none)");
    EXPECT_TRUE(session_->WaitForNoWindow(kCalibTitle, kStepMs));
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", 500, 3), "(none)") << "the kept record was not written over";
    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

// The touch stream ends while the targets are shown, and later the screen is left alone: each
// time the saved record goes back, the device is reset, and a message says what happened.
TEST_P(Kiosk, ALostStreamAndAnAbandonedScreenPutTheSavedRecordBack) {
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    // A calibration in force first, so that putting it back shows.
    size_t mark = Mark();
    ASSERT_TRUE(OpenCalibration(main));
    for (const char* tap : kTaps) Touch({tap});
    KeepWithReturn();
    ASSERT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 2), kNewRecordHex);
    ASSERT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;

    struct Way {
        const char* what;
        const char* command;  // what ends the calibration; nullptr: nothing, the screen is left alone
        long long withinMs;
    } const ways[] = {
        {"the touch stream closed", "streamclose", kStepMs},
        {"the screen left alone", nullptr, 30000 + kStepMs},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        mark = Mark();
        ASSERT_TRUE(OpenCalibration(main));
        Touch({kTaps[0]});
        ExpectRed(1, way.what);
        if (way.command) {
            ASSERT_TRUE(session_->Sim().Command(way.command));
        }
        EXPECT_EQ(WaitForCall(mark, "SetCalibration", way.withinMs, 2), kNewRecordHex) << "the saved record back";
        EXPECT_NE(WaitForCall(mark, "ResetDevice", kStepMs, 2), "(none)") << "the device reset after the restore";
        EXPECT_TRUE(session_->WaitForNoWindow(kCalibTitle, kStepMs));
        // The message in front with the keyboard; Return ends it and the window is back.
        ASSERT_NE(WaitForFocusAwayFrom(main), 0u) << "a message takes the focus";
        shot_ = session_->Grab();
        SaveShot(way.what);
        session_->PressKey("Return");
        ASSERT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    }
    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

// Two frames attached. While the new record is applied (the frame busy after its reset) the user
// turns the device choice with the wheel and clicks it: the main window takes nothing until the
// calibration is over, and every request of the calibration, the put-back included, goes to the
// frame it began on; so does the watch afterwards.
TEST_P(Kiosk, TheDeviceChoiceStaysWithTheCalibratedFrameUntilTheCalibrationIsOver) {
    const std::string first = "0102030405060708", second = "1112131415161718";
    const long firstSelector = 36;
    ASSERT_TRUE(session_->Sim().Command("ids " + first + ":" + second));
    ASSERT_TRUE(session_->Sim().Command("device " + first));
    ASSERT_TRUE(session_->Sim().Command("device " + second));
    const WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";

    const size_t mark = Mark();
    ASSERT_TRUE(OpenCalibration(main));
    for (int k = 0; k < 3; ++k) {
        Touch({kTaps[k]});
        ExpectRed(k + 1, std::string("tap ") + std::to_string(k));
    }
    // Busy for a while after the apply's reset: the calibration waits for the frame meanwhile.
    ASSERT_TRUE(session_->Sim().Command("busyreset 2500"));
    Touch({kTaps[3]});
    // At once, while the frame is busy and before the box shows: on X the calibrated display
    // stays covered for the new record's check, so the pointer meets that screen, not the window.
    for (int turn = 0; turn < 2; ++turn) {
        session_->ScrollDown(main.x + kDeviceChoiceButton.x, main.y + kDeviceChoiceButton.y);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    session_->Click(main.x + kDeviceChoiceButton.x, main.y + kDeviceChoiceButton.y);
    ASSERT_NE(session_->WaitForWindow(kKeepQuestion, kStepMs).id, 0u) << "no confirmation box";
    ASSERT_TRUE(session_->Sim().Command("busyreset 0"));
    ASSERT_TRUE(session_->WaitForFocus(kKeepQuestion, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    // Not kept: the saved record goes back, to the frame it was read from.
    session_->PressKey("Escape");
    ASSERT_TRUE(session_->WaitForNoWindow(kKeepQuestion, kStepMs));
    const std::string putBack = WaitForCall(mark, "SetCalibration", kStepMs, 3);
    EXPECT_NE(putBack, "(none)") << "the saved record put back";
    EXPECT_NE(putBack, kNewRecordHex);
    EXPECT_NE(WaitForCall(mark, "ResetDevice", kStepMs, 3), "(none)") << "the device reset after the restore";
    // Escape ends the offer to calibrate again; the message that the previous calibration is
    // back, then a watch pass of the window.
    session_->PressKey("Escape");
    ASSERT_NE(WaitForFocusAwayFrom(main), 0u) << "a message takes the focus";
    session_->PressKey("Return");
    ASSERT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
    const size_t afterCalibration = Mark();
    EXPECT_NE(WaitForCall(afterCalibration, "GetDeviceInfo", kLostMs), "(none)") << "a watch pass after it";
    size_t calls = 0;
    for (const std::string& line : CallsSince(mark)) {
        ++calls;
        EXPECT_EQ(SelectorOf(line), firstSelector) << line;
    }
    EXPECT_GT(calls, 8u);
    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

INSTANTIATE_TEST_SUITE_P(Bare, Kiosk, ::testing::Values("bare"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Two displays side by side, the window moved to the second: the calibration covers that one,
// its screen values come from that display, and the question comes up there too.
class TwoDisplays : public Desktop {
    void Prepare(DesktopSession& session) override { session.UseTwoDisplays(); }
};

TEST_P(TwoDisplays, TheCalibrationCoversTheDisplayTheWindowIsOn) {
    WindowInfo main = Launch();
    ASSERT_NE(main.id, 0u) << "no main window";
    // Moved as a person would, once the window is up. The program centres its window once more
    // when it first becomes active, which a loaded machine may do only after this move: the move
    // is repeated until the window has stayed where it was put for a second.
    const int toX = kSecondDisplay.x + 400, toY = 200;
    ASSERT_TRUE(faults::WaitFor(
        [&] {
            session_->MoveWindow(main.id, toX, toY);
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            main = session_->WaitForWindow(kMainTitle, 0);
            return main.x == toX && main.y == toY;
        },
        kStepMs))
        << "main window at " << main.x << "," << main.y;
    // The watch reads the orientation of that display's output, not of the primary one (the
    // dummy driver cannot turn an output, so the log says which was read; the value written is
    // checked on sway's XWayland, whose outputs turn).
    EXPECT_TRUE(faults::WaitFor(
        [&] {
            return session_->ProgramStderr().find("Display orientation read from output DUMMY1") != std::string::npos;
        },
        kLostMs))
        << "the second display's orientation not read";
    const size_t mark = Mark();
    ASSERT_TRUE(OpenCalibration(main, kSecondDisplay));
    SaveShot("second display");
    // Nothing of the calibration on the first display.
    for (int k = 0; k < 4; ++k) {
        const Point t = TargetOn(kFirstDisplay, k);
        EXPECT_FALSE(shot_.At(t.x, t.y).IsRed() || shot_.At(t.x, t.y).IsWhite()) << "a target on the first display";
    }
    for (int k = 0; k < 4; ++k) {
        Touch({kTaps[k]});
        if (k < 3) ExpectRed(k + 1, std::string("tap ") + std::to_string(k), false, kSecondDisplay);
    }
    const WindowInfo box = session_->WaitForWindow(kKeepQuestion, kStepMs);
    ASSERT_NE(box.id, 0u) << "no confirmation box";
    EXPECT_LE(std::abs(box.x + box.width / 2 - (kSecondDisplay.x + kSecondDisplay.width / 2)), 40)
        << "confirmation box at " << box.x << "," << box.y;
    EXPECT_LE(std::abs(box.y + box.height / 2 - (kSecondDisplay.y + kSecondDisplay.height / 2)), 40)
        << "confirmation box at " << box.x << "," << box.y;
    KeepWithReturn();
    // Screen values 65 pixels in on 1280 x 1024: 1663 and 31103 across, 2079 and 30687 down.
    EXPECT_EQ(WaitForCall(mark, "SetCalibration", kStepMs, 2),
              "01000000"
              "ff0fff0f7f061f08"
              "ff6fff0f7f791f08"
              "ff0fff6f7f06df77"
              "ff6fff6f7f79df77");
    CloseWithDone(main);
    ExpectNoToolkitComplaints();
}

INSTANTIATE_TEST_SUITE_P(Bare, TwoDisplays, ::testing::Values("bare"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// A start, a dialog and a close in each language print nothing from the toolkit.
class DesktopLanguage : public ::testing::TestWithParam<std::string> {};

TEST_P(DesktopLanguage, StartDialogAndCloseWithoutToolkitComplaints) {
    DesktopSession session("openbox");
    ASSERT_TRUE(session.Start()) << session.Error();
    session.SetLanguage(GetParam());
    ASSERT_TRUE(session.LaunchProgram());
    // The main window, by its size (the title depends on the language), once it is centred.
    WindowInfo main;
    ASSERT_TRUE(faults::WaitFor(
        [&] {
            for (const WindowInfo& w : session.FindWindows(""))
                if (w.width > 300 && w.height > 400) main = w;
            return main.id != 0 && std::abs(main.x + main.width / 2 - 960) <= 40;
        },
        kWindowMs));
    ASSERT_TRUE(faults::WaitFor([&] { return session.FocusedWindow().id == main.id; }, kStepMs))
        << "the main window has the keyboard";
    main = session.WaitForSettledWindow(main.name, kStepMs);
    ASSERT_NE(main.id, 0u) << "the main window did not settle";
    session.Click(main.x + kAdvancedButton.x, main.y + kAdvancedButton.y);
    ASSERT_TRUE(faults::WaitFor([&] { return session.FocusedWindow().id != 0 && session.FocusedWindow().id != main.id; },
                                kStepMs))
        << "the advanced settings dialog takes the focus";
    session.PressKey("Escape");
    ASSERT_TRUE(faults::WaitFor([&] { return session.FocusedWindow().id == main.id; }, kStepMs));
    session.Click(main.x + kDoneButton.x, main.y + kDoneButton.y);
    EXPECT_EQ(session.WaitForProgramExit(kExitMs), 0);
    const std::string err = session.ProgramStderr();
    EXPECT_EQ(err.find("Gtk-CRITICAL"), std::string::npos) << err;
    EXPECT_EQ(err.find("Gtk-WARNING"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Languages, DesktopLanguage, ::testing::Values("English", "Chinese"));

}  // namespace
