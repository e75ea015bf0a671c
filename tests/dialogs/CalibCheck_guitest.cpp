// The check after a new calibration, end to end against a simulated frame that is really mounted:
// the four targets are touched at their display positions, the service then reports calibrated
// positions, and the screen must show each touch where it was made. Read back from the X server.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/display.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "device/CalibCheckRules.h"
#include "device/CalibRules.h"
#include "dialogs/CalibScenario.h"
#include "guisupport/FastClock.h"
#include "guisupport/GuiTest.h"
#include "support/ManualClock.h"
#include "touchsim/FrameMounting.h"
#include "support/MountedCalibration.h"

// Last: Xlib's macros (None, Status, ...) must not meet the toolkit's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace VexoSource;
using namespace calibtest;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

struct Pixel {
    int x, y;
};

// The check target and five other places: corners' quarters, near the edges, off the box in the
// middle and off the guidance lines at the top.
const Pixel kCheckPoints[] = {{960, 720}, {300, 500}, {1600, 420}, {500, 950}, {1500, 900}, {120, 120}};

// The middle of the touch mark within `radius` of `around`: the mean of the pixels in the mark's
// colours (a filled square, so its mean is its centre). Nothing when no such pixel shows.
std::optional<std::pair<double, double>> MarkNear(Pixel around, int radius = 24) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return std::nullopt;
    const int x0 = std::max(0, around.x - radius), y0 = std::max(0, around.y - radius);
    const int w = std::min(kWidth - x0, 2 * radius + 1), h = std::min(kHeight - y0, 2 * radius + 1);
    XImage* image = XGetImage(display, DefaultRootWindow(display), x0, y0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    double sx = 0, sy = 0;
    int n = 0;
    if (image) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned long p = XGetPixel(image, x, y) & 0xFFFFFF;
                if (p == 0x00C8FF || p == 0x0078A0) {  // down (0,200,255) or lifted (0,120,160)
                    sx += x0 + x;
                    sy += y0 + y;
                    ++n;
                }
            }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    if (n == 0) return std::nullopt;
    return std::make_pair(sx / n, sy / n);
}

// Pixels in a band of the screen whose colour is near `r, g, b` (text is drawn smoothed).
int PixelsLike(int top, int bottom, int r, int g, int b) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 0;
    XImage* image = XGetImage(display, DefaultRootWindow(display), 0, top, kWidth, unsigned(bottom - top), AllPlanes,
                              ZPixmap);
    int n = 0;
    if (image) {
        for (int y = 0; y < bottom - top; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                const int pr = int((p >> 16) & 0xFF), pg = int((p >> 8) & 0xFF), pb = int(p & 0xFF);
                if (std::abs(pr - r) < 24 && std::abs(pg - g) < 24 && std::abs(pb - b) < 24) ++n;
            }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return n;
}
int GreenTextPixels() { return PixelsLike(150, 330, 80, 220, 100); }
int AmberTextPixels() { return PixelsLike(150, 330, 255, 176, 0); }

touchsim::FrameMounting Mounting(int turn, bool mirrored) {
    touchsim::FrameMounting m;
    m.turn = turn;
    m.mirrored = mirrored;
    m.offsetX = 0.03, m.offsetY = 0.05, m.scaleX = 0.94, m.scaleY = 0.9;
    return m;
}

CalibrationRecord ExactRecord(const touchsim::FrameMounting& m) {
    return testsupport::ExactCalibration(m, kWidth, kHeight);
}

enum class InForce { NoRecord, GoodRecord, BadRecord };

class CalibCheck : public ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        ASSERT_EQ(wxDisplay(0u).GetGeometry().GetSize(), wxSize(kWidth, kHeight));
    }

    void Mount(const touchsim::FrameMounting& m, InForce inForce) {
        CalibrationRecord before{};
        if (inForce == InForce::GoodRecord) before = ExactRecord(m);
        // Calibrated for another mounting: touches land far from the finger.
        if (inForce == InForce::BadRecord) before = ExactRecord(Mounting((m.turn + 90) % 360, !m.mirrored));
        saved_ = before;
        sim_->Edit([&](touchsim::DeviceModel& model) {
            model.mounting = m;
            model.calibration = before;
            model.calibrationInForce = before;
        });
        sim_->ClearTrace();
    }

    void TapDisplay(Pixel p) { sim_->DisplayTap(float(p.x) / kWidth, float(p.y) / kHeight); }

    // Touches target k at its centre, moved by (dx, dy), once it has been red long enough.
    Step TapTarget(int k, int dx = 0, int dy = 0) {
        auto settle = PauseMs(kTapSettleMs);
        return [this, k, dx, dy, settle] {
            if (!settle()) return false;
            const CalibTarget t = CalibTargetAt(k, kWidth, kHeight);
            TapDisplay({t.centreX + dx, t.centreY + dy});
            return true;
        };
    }
    Step WaitForTarget(int32_t k) {
        return [this, k] { return dialog_->CurrentTarget() >= k; };
    }
    std::vector<Step> FourTargets(int offTarget = -1, int offPx = 0) {
        std::vector<Step> steps;
        for (int k = 0; k < 4; ++k) {
            steps.push_back(k == offTarget ? TapTarget(k, offPx, 0) : TapTarget(k));
            steps.push_back(WaitForTarget(k + 1));
        }
        return steps;
    }
    // Waits for the confirmation box; from then on the clock stands still (the box does not run
    // out and the marks stay) until the test lets it go.
    Step WaitForBoxAndHoldTheClock() {
        return [this] {
            if (!ModalBox()) return false;
            still_ = std::make_unique<clocktest::ManualClock>(VexoPlatform::NowMs());
            return true;
        };
    }
    Step LetTheClockGo() {
        return Do([this] { still_.reset(); });
    }
    // Taps at p and waits for the mark to show; notes where the screen shows it.
    Step TapAndLook(Pixel p, std::vector<std::optional<std::pair<double, double>>>& seen) {
        auto tapped = std::make_shared<bool>(false);
        auto looks = std::make_shared<int>(0);
        auto last = std::make_shared<std::optional<std::pair<double, double>>>();
        return [this, p, &seen, tapped, looks, last] {
            if (!*tapped) {
                TapDisplay(p);
                *tapped = true;
                return false;
            }
            dialog_->Raise();
            // Two looks alike: a look taken while the canvas was being painted may hold part of it.
            const auto mark = MarkNear(p);
            const bool settled = mark && *last == mark;
            *last = mark;
            if (!settled && ++*looks < 60) return false;
            seen.push_back(mark);
            return true;
        };
    }
    Step Answer(int id) {
        return Do([id] {
            DlgTBox* box = ModalBox();
            if (!box) return;
            wxWindow* button = box->FindWindow(id);
            wxCommandEvent click(wxEVT_BUTTON, id);
            click.SetEventObject(button);
            button->GetEventHandler()->AddPendingEvent(click);
        });
    }

    Step PressEscape() {
        return Do([this] {
            wxKeyEvent key(wxEVT_CHAR_HOOK);
            key.m_keyCode = WXK_ESCAPE;
            key.SetEventObject(dialog_);
            dialog_->GetEventHandler()->ProcessEvent(key);
        });
    }

    // Runs a calibration with the steps; the clock runs at real time while targets are shown and
    // fast otherwise.
    int Run(std::vector<Step> steps) {
        guitest::FastClock fast;
        fast.Hold(true);
        dialog_ = new DlgCalib(nullptr, VexoSource::ChosenDevice());
        int code = -1;
        if (dialog_->Initialize()) {
            // Fast again once the fourth target is in: the new record's reset and the box.
            steps.insert(steps.begin() + 8, Do([&fast] { fast.Hold(false); }));
            guitest::ModalScript script(std::move(steps), kWatchdogMs);
            code = dialog_->ShowModal();
            watchdog_ = script.WatchdogFired();
            finished_ = script.Finished();
            dialog_->Release();
        }
        still_.reset();
        dialog_->Destroy();
        dialog_ = nullptr;
        wxTheApp->ProcessPendingEvents();
        return code;
    }

    DlgCalib* dialog_ = nullptr;
    CalibrationRecord saved_{};
    std::unique_ptr<clocktest::ManualClock> still_;
    bool watchdog_ = false;
    bool finished_ = false;
};

struct RoundTrip {
    const char* name;
    InForce inForce;
};
void PrintTo(const RoundTrip& r, std::ostream* os) { *os << r.name; }
class CalibRoundTrip : public CalibCheck, public ::testing::WithParamInterface<RoundTrip> {};

// For every way the frame can be mounted (4 turns x mirrored, with an offset and a scale), whatever
// calibration was in force before: touching the four targets, then the check target and five
// other places, shows each touch within a pixel of where it was made, and the check target's
// figure in green. A record built in the wrong slot order, or with an axis swapped, lands touches
// far away for some mounting.
TEST_P(CalibRoundTrip, TouchesAreDrawnWhereTheyWereMadeForEveryMounting) {
    for (int turn : {0, 90, 180, 270}) {
        for (bool mirrored : {false, true}) {
            const touchsim::FrameMounting m = Mounting(turn, mirrored);
            SCOPED_TRACE(touchsim::DescribeMounting(m));
            Mount(m, GetParam().inForce);
            std::vector<std::optional<std::pair<double, double>>> seen;
            int green = 0;
            CheckResult figure;
            bool hasFigure = false;
            std::vector<Step> steps = FourTargets();
            steps.push_back(WaitForBoxAndHoldTheClock());
            for (const Pixel& p : kCheckPoints) steps.push_back(TapAndLook(p, seen));
            steps.push_back(Do([&] {
                green = GreenTextPixels();
                hasFigure = dialog_->CheckView().LastResult(figure);
            }));
            // Answered while the clock still stands: once it goes, the time the taps took passes
            // at once and the box would run out first.
            steps.push_back(Answer(DlgTBox::ID_DONE));
            steps.push_back(LetTheClockGo());
            const int code = Run(steps);

            EXPECT_EQ(code, DlgCalib::CLOSE_TAKEN);
            EXPECT_FALSE(watchdog_);
            ASSERT_EQ(seen.size(), std::size(kCheckPoints));
            for (size_t k = 0; k < seen.size(); ++k) {
                const Pixel& p = kCheckPoints[k];
                ASSERT_TRUE(seen[k].has_value()) << "no mark near " << p.x << "," << p.y;
                EXPECT_LE(std::fabs(seen[k]->first - p.x), 1.0) << "tapped at " << p.x << "," << p.y;
                EXPECT_LE(std::fabs(seen[k]->second - p.y), 1.0) << "tapped at " << p.x << "," << p.y;
            }
            ASSERT_TRUE(hasFigure);
            EXPECT_EQ(figure.grade, CheckGrade::Good);
            EXPECT_LE(figure.distancePx, 1);
            EXPECT_GT(green, 0) << "the figure is shown in green";
            EXPECT_EQ(sim_->Model().calibration.enabled, 1u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Calib, CalibRoundTrip,
                         ::testing::Values(RoundTrip{"NoneInForce", InForce::NoRecord},
                                           RoundTrip{"GoodInForce", InForce::GoodRecord},
                                           RoundTrip{"BadInForce", InForce::BadRecord}),
                         [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

// One corner touched 40 px off (well inside the four points' closure rule) gives a figure beyond
// the threshold, in amber with the warning; letting the box run out puts the previous record back;
// a touch anywhere then starts a new calibration on the covered screen, which Escape ends with the
// previous record still in force.
TEST_F(CalibCheck, ACornerTouchedOffShowsAmberAndTouchAnywhereStartsAgain) {
    const touchsim::FrameMounting m = Mounting(90, true);
    Mount(m, InForce::GoodRecord);
    LogCapture log;
    int amber = 0;
    CheckResult figure;
    bool hasFigure = false;
    bool startedAgain = false;
    std::vector<Step> steps = FourTargets(2, -40);  // the bottom-right target, 40 px to its left
    steps.push_back(WaitForBoxAndHoldTheClock());
    std::vector<std::optional<std::pair<double, double>>> seen;
    steps.push_back(TapAndLook(kCheckPoints[0], seen));
    steps.push_back(Do([&] {
        amber = AmberTextPixels();
        hasFigure = dialog_->CheckView().LastResult(figure);
    }));
    // The box runs out; the previous record goes back and the screen offers to start again.
    steps.push_back(LetTheClockGo());
    steps.push_back([this] { return dialog_->CheckView().Current() == CalibCheckView::Phase::Again; });
    steps.push_back(Do([this] { EXPECT_EQ(sim_->Model().calibration.enabled, saved_.enabled); }));
    steps.push_back(Do([this] { TapDisplay({1700, 150}); }));
    // A new calibration: its first target is red once the device is back.
    steps.push_back([this, &startedAgain] {
        startedAgain = dialog_->CheckView().Current() == CalibCheckView::Phase::Off && dialog_->IsModal() &&
                       dialog_->CurrentTarget() == 0;
        return startedAgain;
    });
    steps.push_back(PauseMs(200));
    steps.push_back(PressEscape());
    const int code = Run(steps);

    EXPECT_FALSE(watchdog_);
    EXPECT_TRUE(finished_);
    EXPECT_TRUE(startedAgain);
    EXPECT_EQ(code, DlgCalib::CLOSE_CANCELLED);
    ASSERT_TRUE(hasFigure);
    EXPECT_EQ(figure.grade, CheckGrade::Wrong);
    EXPECT_GT(figure.distancePx, kCheckGoodPx);
    EXPECT_GT(amber, 0) << "the figure and the warning are shown in amber";
    EXPECT_TRUE(log.Contains("Information - Calibration check: a tap ")) << "the figure is logged";
    // Saved, switched off, the new record, put back; then the second calibration's own save,
    // switch-off and put-back.
    std::vector<std::string> names;
    for (const Call& c : Calls()) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"GetCalibration", "SetCalibration", "ResetDevice", "SetCalibration",
                                               "ResetDevice", "SetCalibration", "ResetDevice", "GetCalibration",
                                               "SetCalibration", "ResetDevice", "SetCalibration", "ResetDevice"}));
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(saved_));
    EXPECT_TRUE(fixtureBoxes_.Texts().empty()) << "nothing to confirm: the user chose to start again";
}

// Escape while the screen offers to calibrate again ends it as during the targets: no new
// calibration, the previous record in force, and the message that says so.
TEST_F(CalibCheck, EscapeDuringTheOfferToStartAgainEndsIt) {
    Mount(Mounting(0, false), InForce::GoodRecord);
    std::vector<Step> steps = FourTargets();
    steps.push_back([] { return ModalBox() != nullptr; });
    steps.push_back(Answer(DlgTBox::ID_CANCEL));
    // The clock stands still from here: the offer cannot run out, only Escape can end it.
    steps.push_back([this] {
        if (dialog_->CheckView().Current() != CalibCheckView::Phase::Again) return false;
        still_ = std::make_unique<clocktest::ManualClock>(VexoPlatform::NowMs());
        return true;
    });
    steps.push_back(PressEscape());
    const int code = Run(steps);

    EXPECT_FALSE(watchdog_);
    EXPECT_EQ(code, DlgCalib::CLOSE_TAKEN);
    std::vector<std::string> names;
    for (const Call& c : Calls()) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"GetCalibration", "SetCalibration", "ResetDevice", "SetCalibration",
                                               "ResetDevice", "SetCalibration", "ResetDevice"}));
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(saved_));
    EXPECT_EQ(fixtureBoxes_.Texts(), std::vector<std::string>{"The previous calibration is back in force."});
}

}  // namespace
