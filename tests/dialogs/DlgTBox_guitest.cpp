#include "dialogs/DlgTBox.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/display.h>
#include <wx/timer.h>

#include <functional>
#include <string>
#include <vector>

#include "guisupport/GuiTest.h"
#include "support/Elapsed.h"
#include "support/ManualClock.h"

namespace {

constexpr int kPollMs = 40;
constexpr int kWatchdogMs = 20000;  // the box ends by itself after ~6 s; this only guards a hang

// Runs `step` every kPollMs while a modal box is up, notes each count the box shows, and ends the
// box with -1 if it is still open after kWatchdogMs of real time, so a broken box fails the test
// instead of hanging the run. With a clock given, it moves that clock one second per poll (the box
// then counts a step per poll), up to the second that shows `lastCount`.
class BoxDriver : public wxEvtHandler {
public:
    BoxDriver(DlgTBox& box, std::function<void(DlgTBox&)> step, clocktest::ManualClock* clock = nullptr,
              std::string lastCount = std::string())
        : box_(box), step_(std::move(step)), clock_(clock), lastCount_(std::move(lastCount)) {
        poll_.SetOwner(this);
        Bind(wxEVT_TIMER, &BoxDriver::OnTick, this);
        poll_.Start(kPollMs);
        started_ = testsupport::Clock::now();
    }
    ~BoxDriver() override { poll_.Stop(); }

    bool watchdogFired = false;
    int secondsMoved = 0;
    std::vector<std::string> shown;  // count display values, each change once

    static std::string CountText(DlgTBox& box) {
        auto* count = dynamic_cast<wxTextCtrl*>(box.FindWindow(DlgTBox::ID_COUNT));
        return count ? count->GetValue().ToStdString() : std::string("?");
    }

private:
    void OnTick(wxTimerEvent&) {
        if (!box_.IsModal()) return;
        const std::string value = CountText(box_);
        if (shown.empty() || shown.back() != value) shown.push_back(value);
        if (testsupport::MsSince(started_) > kWatchdogMs) {
            watchdogFired = true;
            box_.EndModal(-1);
            return;
        }
        if (step_) step_(box_);
        // One second at a time, and the next only once the box has shown the step the last one
        // made: a box slower than the polls (a loaded machine, a sanitizer) would otherwise take
        // two seconds between two polls, and a step would never be on the screen when one looks.
        if (clock_ && box_.IsModal() && value != lastCount_ && value != shownWhenMoved_) {
            shownWhenMoved_ = value;
            clock_->Advance(1000);
            ++secondsMoved;
        }
    }

    DlgTBox& box_;
    std::function<void(DlgTBox&)> step_;
    clocktest::ManualClock* clock_;
    std::string lastCount_;
    std::string shownWhenMoved_;  // what the box showed when the clock was last moved
    wxTimer poll_;
    testsupport::Clock::time_point started_;
};

}  // namespace

// On the real clock, as a user sees it.
TEST(DlgTBox, UnansweredBoxCountsDownAndAnswersNo) {
    DlgTBox box(wxT("Keep this calibration?"));
    BoxDriver driver(box, nullptr);
    const testsupport::Clock::time_point start = testsupport::Clock::now();
    const int code = box.ShowModal();
    const long long elapsed = testsupport::MsSince(start);

    EXPECT_FALSE(driver.watchdogFired);
    EXPECT_EQ(code, wxID_NO);
    EXPECT_EQ(driver.shown, (std::vector<std::string>{"5", "4", "3", "2", "1", "0"}));
    // Five steps down and one more second to end: six seconds, never less.
    EXPECT_GE(elapsed, 5900);
    EXPECT_LE(elapsed, 15000);
    EXPECT_EQ(box.Remaining(), 0u);
}

// On a clock moved by hand: one step per second of the clock, and the answer after the sixth.
TEST(DlgTBox, EachSecondOfTheClockIsOneStep) {
    clocktest::ManualClock clock;
    DlgTBox box(wxT("Keep this calibration?"));
    BoxDriver driver(box, nullptr, &clock);
    EXPECT_EQ(box.ShowModal(), wxID_NO);
    EXPECT_FALSE(driver.watchdogFired);
    EXPECT_EQ(driver.shown, (std::vector<std::string>{"5", "4", "3", "2", "1", "0"}));
    EXPECT_EQ(driver.secondsMoved, 6);
}

TEST(DlgTBox, ButtonsAnswerAndTheBoxCanBeShownAgain) {
    DlgTBox box(wxT("Keep?"));
    auto* done = dynamic_cast<wxButton*>(box.FindWindow(DlgTBox::ID_DONE));
    auto* cancel = dynamic_cast<wxButton*>(box.FindWindow(DlgTBox::ID_CANCEL));
    ASSERT_NE(done, nullptr);
    ASSERT_NE(cancel, nullptr);

    {  // Cancel at once.
        bool clicked = false;
        BoxDriver driver(box, [&](DlgTBox&) {
            if (!clicked) guitest::Click(cancel), clicked = true;
        });
        EXPECT_EQ(box.ShowModal(), wxID_NO);
        EXPECT_FALSE(driver.watchdogFired);
        EXPECT_EQ(driver.shown.front(), "5");
    }
    {  // Shown again: the count restarts at 5, and Done while it reads 0 is still a yes.
        clocktest::ManualClock clock;
        bool clicked = false;
        BoxDriver driver(box, [&](DlgTBox& b) {
            if (!clicked && BoxDriver::CountText(b) == "0") guitest::Click(done), clicked = true;
        }, &clock, "0");
        EXPECT_EQ(box.ShowModal(), wxID_YES);
        EXPECT_FALSE(driver.watchdogFired);
        EXPECT_EQ(driver.shown.front(), "5");
        EXPECT_EQ(driver.shown.back(), "0");
    }
    {  // A button event from elsewhere (the toolkit's own Cancel) does not end the box.
        int step = 0;
        BoxDriver driver(box, [&](DlgTBox& b) {
            if (step == 0) {
                wxCommandEvent foreign(wxEVT_BUTTON, wxID_CANCEL);
                foreign.SetEventObject(&b);
                b.GetEventHandler()->AddPendingEvent(foreign);
            } else if (step == 10) {
                guitest::Click(done);
            }
            ++step;
        });
        EXPECT_EQ(box.ShowModal(), wxID_YES);
        EXPECT_FALSE(driver.watchdogFired);
    }
}

TEST(DlgTBox, HasNoParentTakesTheQuestionAsTitleAndSitsInTheScreenCentre) {
    wxDialog owner(nullptr, wxID_ANY, wxT("owner"), wxPoint(0, 0), wxSize(300, 200));
    owner.Show();
    DlgTBox box(wxT("Apply this calibration?"));
    EXPECT_EQ(box.GetParent(), nullptr);
    EXPECT_EQ(box.GetTitle(), wxT("Apply this calibration?"));
    // No language text loaded: the English fallbacks.
    EXPECT_EQ(box.FindWindow(DlgTBox::ID_DONE)->GetLabel(), wxT("Done"));
    EXPECT_EQ(box.FindWindow(DlgTBox::ID_CANCEL)->GetLabel(), wxT("Cancel"));
    EXPECT_EQ(box.Remaining(), 0u);

    int ticks = 0;
    BoxDriver driver(box, [&](DlgTBox& b) {
        if (++ticks < 8) return;  // let the window system place the box first
        const wxRect screen = wxDisplay(0u).GetGeometry();
        const wxPoint centre = b.GetScreenRect().GetPosition() + b.GetSize() / 2;
        EXPECT_NEAR(centre.x, screen.x + screen.width / 2, 20);
        EXPECT_NEAR(centre.y, screen.y + screen.height / 2, 40);
        b.EndModal(wxID_NO);
    });
    EXPECT_EQ(box.ShowModal(), wxID_NO);
    EXPECT_FALSE(driver.watchdogFired);
}
