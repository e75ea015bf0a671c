// The main window's calibration command: the linearity hand-over, the busy device, a failed start
// and a whole calibration under the main window's request lock.
#include <gtest/gtest.h>

#include <wx/app.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/CPMainFrame.h"
#include "dialogs/CalibScenario.h"
#include "guisupport/GuiTest.h"
#include "platform/ProcessLauncher.h"
#include "support/RegistryFile.h"

using namespace VexoSource;
using namespace calibtest;

namespace {

const char* const kLinearityQuestion =
    "Linear calibration already present,Please open and [reset] it,Follow the guide to calibration setting?";

class CalibCommand : public ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        previousStarter_ = VexoPlatform::SetProcessStarter([this](const std::vector<std::string>& argv, bool) {
            started_.push_back(argv.empty() ? std::string() : argv[0]);
            return true;
        });
        frame_ = new CPMainFrame();
    }
    void TearDown() override {
        frame_->Destroy();
        guitest::Pump(guitest::kShortMs);  // deletes the frame and the calibration dialog
        VexoPlatform::SetProcessStarter(previousStarter_);
        ServiceFixture::TearDown();
    }

    void GiveLinearityData() {
        registry_.WriteLinearityData();
    }
    std::vector<std::string> AllCallNames() const {
        std::vector<std::string> names;
        for (const touchsim::TraceEntry& e : sim_->Trace()) names.push_back(e.name);
        return names;
    }
    bool LockIsFree() {
        if (frame_->m_requestLock.TryLock() != wxMUTEX_NO_ERROR) return false;
        frame_->m_requestLock.Unlock();
        return true;
    }

    CPMainFrame* frame_ = nullptr;
    guitest::MessageBoxes boxes_;
    std::vector<std::string> started_;
    testsupport::RegistryFile registry_;
    VexoPlatform::ProcessStarter previousStarter_;
};

struct LinearityCase {
    const char* name;
    int answer;
    size_t settingsOpened;
};
void PrintTo(const LinearityCase& c, std::ostream* os) { *os << c.name; }
class CalibLinearity : public CalibCommand, public ::testing::WithParamInterface<LinearityCase> {};

TEST_P(CalibLinearity, OffersTheSystemSettingsAndSendsNothing) {
    GiveLinearityData();
    boxes_.Answer(GetParam().answer);
    frame_->RunCalibration();

    ASSERT_EQ(boxes_.Shown().size(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text, kLinearityQuestion);
    EXPECT_EQ(boxes_.Shown()[0].caption, "");
    EXPECT_EQ(boxes_.Shown()[0].style & (wxYES_NO | wxOK), long(wxYES_NO));
    EXPECT_EQ(started_.size(), GetParam().settingsOpened);
    EXPECT_TRUE(AllCallNames().empty());
    EXPECT_TRUE(LockIsFree());
}

INSTANTIATE_TEST_SUITE_P(Calib, CalibLinearity,
                         ::testing::Values(LinearityCase{"No", wxNO, 0}, LinearityCase{"Yes", wxYES, 1}),
                         [](const ::testing::TestParamInfo<LinearityCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(CalibCommand, BusyDeviceGetsTheResettingMessage) {
    sim_->SetBusy(true);
    frame_->RunCalibration();

    EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"Device was resetting,Please try later"}));
    EXPECT_EQ(AllCallNames(), (std::vector<std::string>{"GetAccessState"}));
    EXPECT_TRUE(LockIsFree());
}

TEST_F(CalibCommand, WholeCalibrationRunsUnderTheWindowLock) {
    bool lockHeldAtBox = false;
    std::vector<Step> steps{[] { return ModalWindow<DlgCalib>() != nullptr; }};
    for (int k = 0; k < 4; ++k) {
        steps.push_back(PauseMs(kTapSettleMs));
        steps.push_back(Do([this, k] { sim_->Tap(kTaps[k].x, kTaps[k].y); }));
        steps.push_back([k] {
            DlgCalib* dialog = ModalWindow<DlgCalib>();
            return !dialog || dialog->CurrentTarget() > k;
        });
    }
    UserDriver user(steps, BoxAnswer::Done, [&] { lockHeldAtBox = !LockIsFree(); });
    frame_->RunCalibration();

    EXPECT_FALSE(user.WatchdogFired());
    EXPECT_EQ(user.BoxesSeen(), 1);
    EXPECT_TRUE(lockHeldAtBox);
    EXPECT_TRUE(LockIsFree());
    EXPECT_TRUE(boxes_.Shown().empty());
    EXPECT_EQ(Calls(), (std::vector<Call>{GetCal(), SetCal(CalibrationRecord{}), Reset(), SetCal(ExpectedNewRecord()),
                                          Reset()}));
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(ExpectedNewRecord()));
}

class CalibCommandNoStream : public CalibCommand {
protected:
    touchsim::Options StreamOptions() const override {
        touchsim::Options o;
        o.stream = false;
        return o;
    }
};

TEST_F(CalibCommandNoStream, FailedStartGetsTheFailureMessageWithTheDialogHidden) {
    bool calibShownAtMessage = true;
    boxes_.OnShow([&](const guitest::ShownBox&) {
        calibShownAtMessage = false;
        for (wxWindow* w : wxTopLevelWindows)
            if (dynamic_cast<DlgCalib*>(w) && w->IsShown()) calibShownAtMessage = true;
    });
    frame_->RunCalibration();

    // The language file has no text for it: the fallback "none".
    EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"The touch stream of the touch service cannot be reached, so "
                                                         "the calibration cannot start."}));
    EXPECT_FALSE(calibShownAtMessage);
    EXPECT_EQ(AllCallNames(), (std::vector<std::string>{"GetAccessState"}));
    EXPECT_TRUE(LockIsFree());
}

}  // namespace
