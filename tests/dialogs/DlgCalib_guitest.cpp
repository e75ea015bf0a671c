// The calibration dialog against the simulated service and its touch stream, on the test X server
// (1920 x 1080).
#include "dialogs/DlgCalib.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/display.h>
#include <wx/event.h>

#include "dialogs/CalibScenario.h"
#include "guisupport/FastClock.h"
#include "guisupport/GuiTest.h"

// Last: Xlib's macros (None, Status, ...) must not meet the toolkit's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace VexoSource;
using namespace calibtest;

namespace {

CalibrationRecord Disabled() { return CalibrationRecord{}; }

class CalibDialog : public ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        const wxRect screen = wxDisplay(0u).GetGeometry();
        ASSERT_EQ(screen.GetSize(), wxSize(1920, 1080)) << "the calibration tests expect a 1920x1080 X screen";
    }

    // Opens the dialog as the main window does and runs it with the user's steps and box answer.
    struct Outcome {
        int32_t initialized = 0;
        int code = 0;
        bool watchdog = false;
        int boxes = 0;
        wxString question;
        wxRect screen;
        bool shownAfterInit = false;
    };
    // realTimeTargets: the clock runs at real time while the targets are shown (taps are timed
    // as a person makes them; the screen's idle limit must not run out under them).
    Outcome Run(std::vector<Step> steps, BoxAnswer answer, bool realTimeTargets = true) {
        Outcome out;
        // The pauses (2 s before the first target, the access polls) and the box's countdown pass
        // ten times faster; nothing but the dialog talks to the service here.
        guitest::FastClock fast;
        dialog_ = new DlgCalib(nullptr, VexoSource::ChosenDevice());
        out.initialized = dialog_->Initialize();
        out.screen = dialog_->ScreenRect();
        out.shownAfterInit = dialog_->IsShown();
        if (out.initialized) {
            fast.Hold(realTimeTargets);
            UserDriver user(std::move(steps), answer, [&fast] { fast.Hold(false); });
            out.code = dialog_->ShowModal();
            dialog_->Release();
            out.watchdog = user.WatchdogFired();
            out.boxes = user.BoxesSeen();
            out.question = user.BoxQuestion();
        }
        dialog_->Destroy();
        dialog_ = nullptr;
        wxTheApp->ProcessPendingEvents();
        return out;
    }

    // Waits for the target to have been red long enough, then taps it.
    Step TapTarget(int k) {
        auto settle = PauseMs(kTapSettleMs);
        auto tapped = std::make_shared<bool>(false);
        return [this, k, settle, tapped] {
            if (!settle()) return false;
            if (!*tapped) sim_->Tap(kTaps[k].x, kTaps[k].y);
            *tapped = true;
            return true;
        };
    }
    Step WaitForTarget(int32_t k) {
        return [this, k] { return dialog_->CurrentTarget() >= k; };
    }
    // Waits until the stream has sent `n` more packets than when the wait began.
    Step WaitForPackets(int n) {
        auto target = std::make_shared<int64_t>(-1);
        return [this, n, target] {
            const int64_t sent = int64_t(sim_->StreamPacketsSent());
            if (*target < 0) *target = sent + n;
            return sent >= *target;
        };
    }
    std::vector<Step> FourTaps() {
        std::vector<Step> steps;
        for (int k = 0; k < 4; ++k) {
            steps.push_back(TapTarget(k));
            steps.push_back(WaitForTarget(k + 1));
        }
        return steps;
    }

    DlgCalib* dialog_ = nullptr;
};

TEST_F(CalibDialog, FourTapsAndDoneKeepTheNewRecord) {
    const Outcome out = Run(FourTaps(), BoxAnswer::Done);

    ASSERT_EQ(out.initialized, 1);
    EXPECT_FALSE(out.watchdog);
    EXPECT_EQ(out.screen, wxRect(0, 0, 1920, 1080));
    EXPECT_EQ(out.code, DlgCalib::CLOSE_TAKEN);
    EXPECT_EQ(out.boxes, 1);
    EXPECT_EQ(out.question, wxString(kApplyQuestion));
    EXPECT_EQ(Calls(), (std::vector<Call>{GetCal(), SetCal(Disabled()), Reset(), SetCal(ExpectedNewRecord()), Reset()}));
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(ExpectedNewRecord()));
}

// Every way out that is not a confirmed new record puts the saved one back.
enum class Leave { Escape, SystemClose, AfterFourTaps, LeftAlone };
struct WayOut {
    const char* name;
    Leave leave;        // Escape / system close / nothing more after the first tap, or all four taken
    BoxAnswer answer;
    bool busyAfterNewRecord;  // the device does not come back after the new record's reset
    const char* message;      // what the user is told afterwards, if anything
};
void PrintTo(const WayOut& w, std::ostream* os) { *os << w.name; }
class CalibWayOut : public CalibDialog, public ::testing::WithParamInterface<WayOut> {};

TEST_P(CalibWayOut, PutsTheSavedRecordBack) {
    const WayOut& w = GetParam();
    std::vector<Step> steps;
    if (w.leave == Leave::AfterFourTaps) {
        steps = FourTaps();
        // Set before the last tap, so that it is in place when the new record is sent.
        if (w.busyAfterNewRecord) steps.insert(steps.end() - 2, Do([this] { sim_->SetBusyAfterReset(60000); }));
    } else if (w.leave == Leave::LeftAlone) {
        steps = {TapTarget(0), WaitForTarget(1)};
    } else {
        steps = {TapTarget(0), WaitForTarget(1), Do([this, w] {
                     if (w.leave == Leave::SystemClose) {
                         dialog_->Close();
                     } else {
                         wxKeyEvent key(wxEVT_CHAR_HOOK);
                         key.m_keyCode = WXK_ESCAPE;
                         key.SetEventObject(dialog_);
                         dialog_->GetEventHandler()->ProcessEvent(key);
                     }
                 })};
    }
    // Left alone, the clock runs fast so that the screen's idle limit passes in a few seconds.
    const Outcome out = Run(steps, w.answer, w.leave != Leave::LeftAlone);

    ASSERT_EQ(out.initialized, 1);
    EXPECT_FALSE(out.watchdog);
    if (w.leave == Leave::LeftAlone) {
        EXPECT_EQ(out.code, DlgCalib::CLOSE_ABANDONED);
    }
    EXPECT_EQ(fixtureBoxes_.Texts(), w.message ? std::vector<std::string>{w.message} : std::vector<std::string>{});
    std::vector<Call> expected{GetCal(), SetCal(Disabled()), Reset()};
    if (w.leave == Leave::AfterFourTaps) {
        EXPECT_EQ(out.code, DlgCalib::CLOSE_TAKEN);
        EXPECT_EQ(out.boxes, w.busyAfterNewRecord ? 0 : 1);
        expected.push_back(SetCal(ExpectedNewRecord()));
        expected.push_back(Reset());
    } else {
        EXPECT_NE(out.code, DlgCalib::CLOSE_TAKEN);
        EXPECT_EQ(out.boxes, 0);
    }
    expected.push_back(SetCal(SavedRecord()));
    expected.push_back(Reset());
    EXPECT_EQ(Calls(), expected);
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(SavedRecord()));
}

INSTANTIATE_TEST_SUITE_P(
    Calib, CalibWayOut,
    ::testing::Values(WayOut{"Escape", Leave::Escape, BoxAnswer::Wait, false, nullptr},
                      WayOut{"SystemClose", Leave::SystemClose, BoxAnswer::Wait, false, nullptr},
                      WayOut{"LeftAlone", Leave::LeftAlone, BoxAnswer::Wait, false,
                             "No touch was taken for 30 seconds. The previous calibration is back in force."},
                      WayOut{"Cancel", Leave::AfterFourTaps, BoxAnswer::Cancel, false,
                             "The previous calibration is back in force."},
                      WayOut{"BoxRunsOut", Leave::AfterFourTaps, BoxAnswer::Wait, false,
                             "The previous calibration is back in force."},
                      WayOut{"DeviceDoesNotComeBack", Leave::AfterFourTaps, BoxAnswer::Done, true, nullptr}),
    [](const ::testing::TestParamInfo<WayOut>& info) { return std::string(info.param.name); });

// A finger held and moved gives one point from its last position when it lifts; a palm resting
// on the frame is ignored, two fingers give no point, a quick second tap on the same target and
// taps after the fourth target change nothing.
TEST_F(CalibDialog, PointsComeFromCleanLiftsOfOneFinger) {
    std::vector<Step> steps{
        PauseMs(kTapSettleMs),
        // Target 0: down far away, moved over several packets to the tap position, lifted.
        Do([this] { sim_->FingerDown(0, 0.9f, 0.9f); }), WaitForPackets(3),
        Do([this] { sim_->FingerMove(0, 0.6f, 0.6f); }), WaitForPackets(3),
        Do([this] { sim_->FingerMove(0, kTaps[0].x, kTaps[0].y); }), WaitForPackets(3),
        [this] { return dialog_->CurrentTarget() == 0; },  // still held: nothing taken yet
        Do([this] { sim_->FingerUp(0); }), WaitForTarget(1),
        // At once a second tap on the same spot: not taken for the next target.
        Do([this] { sim_->Tap(kTaps[0].x, kTaps[0].y); }), PauseMs(200),
        [this] { return dialog_->CurrentTarget() == 1; },
        // Target 1: a palm lands on the bezel and rests; two fingers overlap: no point.
        PauseMs(kTapSettleMs),
        Do([this] { sim_->FingerDown(5, 0.5f, 0.99f); }), WaitForPackets(2),
        Do([this] { sim_->FingerDown(0, 0.1f, 0.1f); }), WaitForPackets(2),
        Do([this] { sim_->FingerDown(1, kTaps[1].x, kTaps[1].y); }), WaitForPackets(2),
        Do([this] { sim_->FingerUp(0); }), WaitForPackets(2),
        Do([this] { sim_->FingerUp(1); }), WaitForPackets(3),
        [this] { return dialog_->CurrentTarget() == 1; },
        // A clean tap with the palm still resting is taken.
        TapTarget(1), WaitForTarget(2),
        Do([this] { sim_->FingerUp(5); }),
        TapTarget(2), WaitForTarget(3), TapTarget(3),
        // Straight after the fourth: ignored.
        Do([this] { sim_->Tap(0.01f, 0.99f); }),
    };
    const Outcome out = Run(steps, BoxAnswer::Done);

    ASSERT_EQ(out.initialized, 1);
    EXPECT_FALSE(out.watchdog);
    EXPECT_EQ(out.code, DlgCalib::CLOSE_TAKEN);
    EXPECT_EQ(Calls(), (std::vector<Call>{GetCal(), SetCal(Disabled()), Reset(), SetCal(ExpectedNewRecord()), Reset()}));
}

// Escape while the screen comes up ends the start before anything is written: no switch-off and
// no reset to undo, and nothing to report.
TEST_F(CalibDialog, EscapeWhileTheScreenComesUpWritesNothing) {
    guitest::FastClock fast;
    dialog_ = new DlgCalib(nullptr, VexoSource::ChosenDevice());
    // The key arrives as soon as the screen shows, while the start still waits for it to cover.
    dialog_->Bind(wxEVT_SHOW, [this](wxShowEvent& shown) {
        shown.Skip();
        if (!shown.IsShown()) return;
        wxKeyEvent* key = new wxKeyEvent(wxEVT_CHAR_HOOK);
        key->m_keyCode = WXK_ESCAPE;
        key->SetEventObject(dialog_);
        dialog_->GetEventHandler()->QueueEvent(key);
    });
    EXPECT_EQ(dialog_->Initialize(), 0);
    EXPECT_TRUE(dialog_->CancelledByUser());
    EXPECT_FALSE(dialog_->IsShown());
    dialog_->Destroy();
    dialog_ = nullptr;
    wxTheApp->ProcessPendingEvents();
    for (const Call& c : Calls()) EXPECT_TRUE(c.name == "GetCalibration") << c.name << " sent after Escape";
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(SavedRecord()));
}

TEST_F(CalibDialog, FailedStartAfterSwitchingOffPutsTheSavedRecordBackAndHides) {
    // The device never comes back from the reset: the wait for access gives up.
    sim_->SetBusyAfterReset(60000);
    const Outcome out = Run({}, BoxAnswer::Wait);

    EXPECT_EQ(out.initialized, 0);
    EXPECT_FALSE(out.shownAfterInit);
    EXPECT_EQ(Calls(), (std::vector<Call>{GetCal(), SetCal(Disabled()), Reset(), SetCal(SavedRecord()), Reset()}));
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(SavedRecord()));
}

TEST_F(CalibDialog, StartWithoutAnsweringServiceSendsNothingMoreAndHides) {
    sim_->Unplug();
    LogCapture log;
    const Outcome out = Run({}, BoxAnswer::Wait);

    EXPECT_EQ(out.initialized, 0);
    EXPECT_FALSE(out.shownAfterInit);
    // Only the read of the saved record was tried; nothing was switched off, so nothing is restored.
    EXPECT_EQ(Calls(), (std::vector<Call>{GetCal()}));
    EXPECT_TRUE(log.Contains("Exception - Get response failed! "));
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(SavedRecord()));
}

// What the screen shows at a point: 'R'ed, 'W'hite, 'B'lack or '?' for anything else. Read from the
// X server itself (the toolkit's screen context returned stale pixels here).
char ScreenColourAt(const wxPoint& p) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return '?';
    XImage* image = XGetImage(display, DefaultRootWindow(display), p.x, p.y, 1, 1, AllPlanes, ZPixmap);
    char colour = '?';
    if (image) {
        const unsigned long pixel = XGetPixel(image, 0, 0);
        const int r = int((pixel >> 16) & 0xFF), g = int((pixel >> 8) & 0xFF), b = int(pixel & 0xFF);
        if (r > 200 && g < 60 && b < 60) colour = 'R';
        else if (r > 200 && g > 200 && b > 200) colour = 'W';
        else if (r < 40 && g < 40 && b < 40) colour = 'B';
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return colour;
}

// The four circle centres and a point of the black background, in the order shown.
std::string ScreenColours(const wxRect& screen) {
    std::string colours;
    for (int32_t k = 0; k < kCalibTargetCount; ++k) {
        const CalibTarget t = CalibTargetAt(k, screen.width, screen.height);
        colours += ScreenColourAt(wxPoint(t.centreX, t.centreY));
    }
    // Black between the targets, below the guidance text.
    colours += ScreenColourAt(wxPoint(screen.width / 2, screen.height * 3 / 4));
    return colours;
}

TEST_F(CalibDialog, TheTargetToTouchIsRedAndMovesOnWithEachPoint) {
    const std::vector<std::string> expected{"RWWWB", "WRWWB", "WWRWB", "WWWRB"};
    std::vector<std::string> seen;
    // Looks until the screen shows the expected picture or about 3 s have passed, then notes the
    // last picture. Other GUI tests may put their own windows on the same X screen: ours is raised
    // before each look.
    auto lookFor = [this, &seen, &expected](size_t stage) {
        auto looks = std::make_shared<int>(0);
        return Step([this, &seen, &expected, stage, looks] {
            dialog_->Raise();
            const std::string picture = ScreenColours(dialog_->ScreenRect());
            if (picture != expected[stage] && ++*looks < 100) return false;
            seen.push_back(picture);
            return true;
        });
    };
    std::vector<Step> steps{lookFor(0)};
    for (int k = 0; k < 4; ++k) {
        steps.push_back(TapTarget(k));
        steps.push_back(WaitForTarget(k + 1));
        if (k < 3) steps.push_back(lookFor(size_t(k) + 1));
    }
    const Outcome out = Run(steps, BoxAnswer::Done);

    ASSERT_EQ(out.initialized, 1);
    EXPECT_EQ(seen, expected);
}

TEST_F(CalibDialog, ANewRecordTheServiceDoesNotTakeIsNotConfirmedButPutBack) {
    guitest::MessageBoxes boxes;
    std::vector<Step> steps{Do([this] { sim_->CutNextReply(SetCalibration, 0); })};  // the new record's
    for (Step& s : FourTaps()) steps.push_back(std::move(s));
    const Outcome out = Run(steps, BoxAnswer::Done);

    ASSERT_EQ(out.initialized, 1);
    EXPECT_FALSE(out.watchdog);
    EXPECT_EQ(out.code, DlgCalib::CLOSE_TAKEN);
    EXPECT_EQ(out.boxes, 0) << "nothing to confirm";
    EXPECT_EQ(Calls(), (std::vector<Call>{GetCal(), SetCal(Disabled()), Reset(), SetCal(ExpectedNewRecord()),
                                          SetCal(SavedRecord()), Reset()}));
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(SavedRecord()));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"none"}) << "the failure message (its fallback here)";
}

class CalibDialogNoStream : public CalibDialog {
protected:
    touchsim::Options StreamOptions() const override {
        touchsim::Options o;
        o.stream = false;
        return o;
    }
};

TEST_F(CalibDialogNoStream, StartWithoutTouchStreamFailsBeforeAnyRequest) {
    const Outcome out = Run({}, BoxAnswer::Wait);
    EXPECT_EQ(out.initialized, 0);
    EXPECT_FALSE(out.shownAfterInit);
    EXPECT_TRUE(Calls().empty());
}

}  // namespace
