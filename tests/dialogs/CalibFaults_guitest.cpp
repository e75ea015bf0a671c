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

class CalibStreamFaults : public ServiceFixture, public ::testing::WithParamInterface<StreamEnd> {};

TEST_P(CalibStreamFaults, AnEndedStreamEndsTheCalibrationWithTheSavedRecordBackAndSaysSo) {
    LogCapture log;
    guitest::MessageBoxes boxes;
    DlgCalib* dialog = new DlgCalib(nullptr, VexoSource::ChosenDevice());
    ASSERT_EQ(dialog->Initialize(), 1);

    std::vector<Step> steps = {
        PauseMs(kTapSettleMs),
        Do([&] { sim_->Tap(kTaps[0].x, kTaps[0].y); }),
        [&] { return dialog->CurrentTarget() >= 1; },
        Do([&] { GetParam().end(*sim_); }),
        // Nothing more: the dialog must end by itself (a touch-only kiosk has no Escape).
    };
    UserDriver user(std::move(steps), BoxAnswer::Wait);
    const int code = dialog->ShowModal();
    EXPECT_TRUE(faults::ReturnsAtOnce([&] { dialog->Release(); })) << "the reader sees its stop request at once";
    dialog->Destroy();
    wxTheApp->ProcessPendingEvents();

    EXPECT_FALSE(user.WatchdogFired()) << "the dialog stayed after the stream ended";
    EXPECT_TRUE(user.StepsFinished());
    EXPECT_EQ(code, DlgCalib::CLOSE_STREAM_LOST);
    EXPECT_EQ(user.BoxesSeen(), 0);
    EXPECT_TRUE(log.Contains("Information - Touch stream closed by the service"));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{
                                 "The touch stream of the touch service was lost. The previous calibration is back in "
                                 "force."});
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
