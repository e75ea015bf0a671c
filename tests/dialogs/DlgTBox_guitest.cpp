#include "dialogs/DlgTBox.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/display.h>
#include <wx/timer.h>

#include <functional>
#include <string>
#include <vector>

#include "guisupport/GuiTest.h"
#include "platform/PlatformTime.h"

namespace {

constexpr int kPollMs = 40;
constexpr int kWatchdogMs = 15000;  // the box ends by itself after ~6 s; this only guards a hang

// Runs `step` every kPollMs while a modal box is up and ends the box with -1 if it is still
// open after kWatchdogMs, so a broken box fails the test instead of hanging the run.
class BoxDriver : public wxEvtHandler {
public:
    BoxDriver(DlgTBox& box, std::function<void(DlgTBox&)> step) : box_(box), step_(std::move(step)) {
        poll_.SetOwner(this);
        Bind(wxEVT_TIMER, &BoxDriver::OnTick, this);
        poll_.Start(kPollMs);
        started_ = VexoPlatform::GetTickCount();
    }
    ~BoxDriver() override { poll_.Stop(); }

    bool watchdogFired = false;
    std::vector<std::string> shown;  // count display values, each change once

private:
    void OnTick(wxTimerEvent&) {
        if (!box_.IsModal()) return;
        const std::string value = CountText(box_);
        if (shown.empty() || shown.back() != value) shown.push_back(value);
        if (VexoPlatform::GetTickCount() - started_ > uint32_t(kWatchdogMs)) {
            watchdogFired = true;
            box_.EndModal(-1);
            return;
        }
        if (step_) step_(box_);
    }

public:
    static std::string CountText(DlgTBox& box) {
        auto* count = dynamic_cast<wxTextCtrl*>(box.FindWindow(DlgTBox::ID_COUNT));
        return count ? count->GetValue().ToStdString() : std::string("?");
    }

private:
    DlgTBox& box_;
    std::function<void(DlgTBox&)> step_;
    wxTimer poll_;
    uint32_t started_ = 0;
};

}  // namespace

TEST(DlgTBox, UnansweredBoxCountsDownAndAnswersNo) {
    DlgTBox box(wxT("Keep this calibration?"));
    BoxDriver driver(box, nullptr);
    const uint32_t start = VexoPlatform::GetTickCount();
    const int code = box.ShowModal();
    const uint32_t elapsed = VexoPlatform::GetTickCount() - start;

    EXPECT_FALSE(driver.watchdogFired);
    EXPECT_EQ(code, wxID_NO);
    EXPECT_EQ(driver.shown, (std::vector<std::string>{"5", "4", "3", "2", "1", "0"}));
    // Five steps down and one more tick to end: about six seconds.
    EXPECT_GE(elapsed, 5500u);
    EXPECT_LE(elapsed, 9000u);
    EXPECT_EQ(box.Remaining(), 0u);
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
        bool clicked = false;
        BoxDriver driver(box, [&](DlgTBox& b) {
            if (!clicked && BoxDriver::CountText(b) == "0") guitest::Click(done), clicked = true;
        });
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
