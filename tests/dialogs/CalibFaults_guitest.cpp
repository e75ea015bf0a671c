// The calibration dialog while the service's touch stream ends under it (closed, reset, or cut in
// the middle of a packet): no further target is taken, the dialog does not hang, the reader stops
// within its bound, and leaving with Escape still puts the saved calibration back.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/event.h>

#include "dialogs/CalibScenario.h"
#include "guisupport/GuiTest.h"
#include "servicelink/FaultsSupport.h"
#include "touchsim/TuioPacket.h"

using namespace VexoSource;
using namespace calibtest;

namespace {

struct StreamEnd {
    const char* name;
    void (*end)(touchsim::Simulator&);
};
void PrintTo(const StreamEnd& e, std::ostream* os) { *os << e.name; }

// How long a tap after the end is given to (wrongly) reach the dialog.
constexpr long long kNoTakeMs = 1000;

class CalibStreamFaults : public ServiceFixture, public ::testing::WithParamInterface<StreamEnd> {};

TEST_P(CalibStreamFaults, NoTargetIsTakenAfterwardsAndEscapeRestoresTheSavedRecord) {
    LogCapture log;
    DlgCalib* dialog = new DlgCalib(nullptr);
    ASSERT_EQ(dialog->Initialize(), 1);

    int32_t targetAfterEnd = -1;
    size_t readersAfterEnd = 1;
    faults::Clock::time_point tapped;
    std::vector<Step> steps = {
        Do([&] { sim_->Tap(kTaps[0].x, kTaps[0].y); }),
        [&] { return dialog->CurrentTarget() >= 1; },
        Do([&] { GetParam().end(*sim_); }),
        [&] { return log.Contains("Information - Touch stream closed by the service"); },
        // A finger on the frame now reaches no reader: no target is taken, however long we wait
        // (a reader that reconnected would take it within a few milliseconds, as it took the first).
        Do([&] {
            sim_->Tap(kTaps[1].x, kTaps[1].y);
            tapped = faults::Clock::now();
        }),
        [&] { return dialog->CurrentTarget() != 1 || faults::MsSince(tapped) >= kNoTakeMs; },
        Do([&] {
            targetAfterEnd = dialog->CurrentTarget();
            readersAfterEnd = sim_->StreamClients();
        }),
        Do([&] {
            wxKeyEvent key(wxEVT_CHAR_HOOK);
            key.m_keyCode = WXK_ESCAPE;
            key.SetEventObject(dialog);
            dialog->GetEventHandler()->ProcessEvent(key);
        }),
    };
    UserDriver user(std::move(steps), BoxAnswer::Wait);
    const int code = dialog->ShowModal();
    const faults::Clock::time_point releasing = faults::Clock::now();
    dialog->Release();
    EXPECT_LT(faults::MsSince(releasing), faults::kPromptMs) << "the reader sees its stop request at once";
    dialog->Destroy();
    wxTheApp->ProcessPendingEvents();

    EXPECT_FALSE(user.WatchdogFired()) << "the dialog hung after the stream ended";
    EXPECT_TRUE(user.StepsFinished());
    EXPECT_NE(code, DlgCalib::CLOSE_TAKEN);
    EXPECT_EQ(user.BoxesSeen(), 0);
    EXPECT_EQ(targetAfterEnd, 1);
    EXPECT_EQ(readersAfterEnd, 0u) << "the reader connected to the stream again";
    EXPECT_EQ(Calls(), (std::vector<Call>{GetCal(), SetCal(CalibrationRecord{}), Reset(), SetCal(SavedRecord()),
                                          Reset()}));
    EXPECT_EQ(Bytes(ServiceCalibration()), Bytes(SavedRecord()));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CalibStreamFaults,
    ::testing::Values(StreamEnd{"Closed", [](touchsim::Simulator& s) { s.CloseStreamClients(); }},
                      StreamEnd{"Reset", [](touchsim::Simulator& s) { s.ResetStreamClients(); }},
                      StreamEnd{"ClosedMidPacket",
                                [](touchsim::Simulator& s) {
                                    const std::string packet = touchsim::BuildTuioPacket({{9, 0.5f, 0.5f}}, 1, 6);
                                    s.SendRawStream(packet.substr(0, packet.size() / 2));
                                    s.CloseStreamClients();
                                }}),
    [](const ::testing::TestParamInfo<StreamEnd>& info) { return std::string(info.param.name); });

}  // namespace
