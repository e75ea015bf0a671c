// The program on a desktop, once per window manager (none, openbox, metacity, xfwm4): the
// calibration screen read back from the X server, taps through the touch stream, keys and clicks
// through XTEST, the service's calls read from touchsim's trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdio>
#include <string>
#include <vector>

#include "desktop/DesktopSession.h"

using desktop::DesktopSession;
using desktop::Screenshot;
using desktop::WindowInfo;

namespace {

constexpr long long kWindowMs = 10000;   // the program's window after launch
constexpr long long kCoverMs = 4000;     // the calibration screen after the button (about 1 s idle)
constexpr long long kStepMs = 8000;      // a request sequence with its waits (access polls, settle)
constexpr long long kExitMs = 8000;      // the program ends after its window closed
constexpr long long kLostMs = 20000;     // a lost device noticed: a watch pass (3 s) whose request goes unanswered (3 s)
constexpr const char* kMainTitle = "Touch Frame Configuration";
constexpr const char* kCalibTitle = "Modal dialog";
constexpr const char* kKeepQuestion = "Keep the new calibration?";

// Centres of the main window's buttons in its client area (the fixed layout).
struct Point {
    int x, y;
};
constexpr Point kCalibrationButton{30 + 74, 340 + 12};
constexpr Point kAdvancedButton{190 + 74, 340 + 12};
constexpr Point kFactoryButton{30 + 74, 368 + 12};
constexpr Point kDoneButton{165 + 32, 421 + 14};

// Target centres on 1920 x 1080 in the order shown, and the taps for them.
constexpr Point kTargets[4] = {{65, 65}, {65, 1015}, {1855, 1015}, {1855, 65}};
constexpr const char* kTaps[4] = {"tap 0.125 0.125", "tap 0.125 0.875", "tap 0.875 0.875", "tap 0.875 0.125"};
// A tap counts only once its target has been red for a moment: a person's pace between taps.
constexpr int kTapPauseMs = 400;
// What those taps give (touch x, y, screen x, y per point; points top-left, top-right,
// bottom-left, bottom-right), enabled 1, as the wire carries it.
const char* const kNewRecordHex =
    "01000000"
    "ff0fff0f5504b407"   // top-left 4095, 4095, 1109, 1972
    "ff6fff0fa97bb407"   // top-right 28671, 4095, 31657, 1972
    "ff0fff6f55044a78"   // bottom-left 4095, 28671, 1109, 30794
    "ff6fff6fa97b4a78";  // bottom-right 28671, 28671, 31657, 30794
const std::string kZeroRecordHex(72, '0');

// The calibration screen with target `red` to touch next (-1: none red): the four target centres
// red or white, every other pixel outside the targets' crosses black, so nothing else shows.
std::string CalibrationScreenProblem(const Screenshot& s, int red) {
    if (s.width != 1920 || s.height != 1080) return "screen is not 1920x1080";
    for (int k = 0; k < 4; ++k) {
        const desktop::Rgb c = s.At(kTargets[k].x, kTargets[k].y);
        if (k == red ? !c.IsRed() : !c.IsWhite()) return "target " + std::to_string(k) + " has the wrong colour";
    }
    auto inTarget = [](int x, int y) {
        for (const Point& t : kTargets)
            if (std::abs(x - t.x) <= 30 && std::abs(y - t.y) <= 30) return true;
        return false;
    };
    // The guidance lines, in the middle of the screen from a third of its height down.
    auto inGuidance = [](int x, int y) { return x >= 200 && x < 1720 && y >= 340 && y < 620; };
    bool guidance = false;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            if (inTarget(x, y) || s.At(x, y).IsBlack()) continue;
            if (!inGuidance(x, y)) return "pixel " + std::to_string(x) + "," + std::to_string(y) + " is not black";
            guidance = true;
        }
    if (!guidance) return "no guidance text";
    return "";
}

std::string PayloadOf(const std::string& line) {
    const size_t at = line.find("payload=");
    if (at == std::string::npos) return "";
    const size_t colon = line.find(':', at);
    const size_t end = line.find(' ', colon);
    return line.substr(colon + 1, end == std::string::npos ? std::string::npos : end - colon - 1);
}

std::string NameOf(const std::string& line) { return line.substr(5, line.find(' ', 5) - 5); }

class Desktop : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        session_.reset(new DesktopSession(GetParam()));
        ASSERT_TRUE(session_->Start()) << session_->Error();
    }
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
        // As a person does: click once the window is there and has the keyboard.
        EXPECT_TRUE(session_->WaitForFocus(kMainTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
        return main;
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
    bool OpenCalibration(const WindowInfo& main) {
        ClickIn(main, kCalibrationButton);
        const auto clicked = std::chrono::steady_clock::now();
        std::string problem;
        const bool covered = session_->WaitForScreen(
            [&](const Screenshot& s) { return (problem = CalibrationScreenProblem(s, 0)).empty(); }, kCoverMs,
            &shot_);
        // A figure for the log, not a bound: the bound above has room for a loaded machine.
        std::printf("calibration screen under %s after %lld ms\n", GetParam().c_str(), faults::MsSince(clicked));
        EXPECT_TRUE(covered) << "calibration screen under " << GetParam() << ": " << problem;
        EXPECT_TRUE(session_->WaitForFocus(kCalibTitle, kStepMs)) << "focus on " << session_->FocusedWindow().name;
        return covered;
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
    // The confirmation box comes up in front, with the keyboard; Return keeps the record.
    ASSERT_NE(session_->WaitForWindow(kKeepQuestion, kStepMs).id, 0u) << "no confirmation box";
    ASSERT_TRUE(session_->WaitForFocus(kKeepQuestion, kStepMs)) << "focus on " << session_->FocusedWindow().name;
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
