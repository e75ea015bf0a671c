// Scenario support for the calibration tests: the simulated service on the program's fixed ports
// (each GUI test runs in its own network namespace), a language file of its own, and a driver that
// acts like the user while the calibration runs modally.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/toplevel.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/ProcessConfig.h"
#include "dialogs/DlgCalib.h"
#include "dialogs/DlgTBox.h"
#include "servicelink/ServiceContract.h"
#include "servicelink/VexoRPC.h"
#include "guisupport/GuiTest.h"
#include "guisupport/LanguageDir.h"
#include "guisupport/ModalScript.h"
#include "touchsim/Simulator.h"

namespace calibtest {

// Everything a scenario does fits well inside this; past it every modal window is ended so that a
// broken dialog fails the test instead of hanging the run.
constexpr uint32_t kWatchdogMs = 40000;
constexpr const char* kApplyQuestion = "Keep the new calibration?";

// The record in force before calibrating: easy to tell from any computed one.
inline VexoSource::CalibrationRecord SavedRecord() {
    VexoSource::CalibrationRecord r{};
    r.enabled = 1;
    r.topLeft = {101, 102, 103, 104};
    r.topRight = {201, 202, 203, 204};
    r.bottomLeft = {301, 302, 303, 304};
    r.bottomRight = {401, 402, 403, 404};
    return r;
}

// Taps at these stream positions, one per target in the order shown.
struct Tap {
    float x, y;
};
// A tap is taken only once its target has been red for a moment (a double tap's second half must
// not count for the next target): the tests wait this long before each tap.
constexpr int kTapSettleMs = 400;
constexpr Tap kTaps[4] = {{0.125f, 0.125f}, {0.125f, 0.875f}, {0.875f, 0.875f}, {0.875f, 0.125f}};

// What those taps must give on a 1920 x 1080 screen: touch values x 32767 truncated (0.125 -> 4095,
// 0.875 -> 28671), target centres (65, 65), (65, 1015), (1855, 1015), (1855, 65).
inline VexoSource::CalibrationRecord ExpectedNewRecord() {
    VexoSource::CalibrationRecord r{};
    r.enabled = 1;
    r.topLeft = {4095, 4095, 1109, 1972};
    r.bottomLeft = {4095, 28671, 1109, 30794};
    r.bottomRight = {28671, 28671, 31657, 30794};
    r.topRight = {28671, 4095, 31657, 1972};
    return r;
}

inline std::vector<uint8_t> Bytes(const VexoSource::CalibrationRecord& r) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
    return std::vector<uint8_t>(p, p + sizeof r);
}

// One call as the tests compare them: the request name and its payload.
struct Call {
    std::string name;
    std::vector<uint8_t> payload;
    bool operator==(const Call& o) const { return name == o.name && payload == o.payload; }
};
inline std::ostream& operator<<(std::ostream& os, const Call& c) {
    os << c.name;
    if (!c.payload.empty()) {
        os << "[";
        for (size_t i = 0; i < c.payload.size(); ++i) os << (i ? " " : "") << int(c.payload[i]);
        os << "]";
    }
    return os;
}
inline Call GetCal() { return {"GetCalibration", {}}; }
inline Call SetCal(const VexoSource::CalibrationRecord& r) { return {"SetCalibration", Bytes(r)}; }
inline Call Reset() { return {"ResetDevice", {}}; }


inline std::string EnglishTexts() {
    return std::string("<Done>Done</Done><Cancel>Cancel</Cancel><Apply_Callibration>") + kApplyQuestion +
           "</Apply_Callibration>";
}

// The simulated service with a known calibration in force and the program's channel open to it.
class ServiceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        sim_ = std::make_unique<touchsim::Simulator>(StreamOptions());
        ASSERT_TRUE(sim_->Start()) << "ports 28875/3000 taken: run inside tests/run_isolated.sh";
        sim_->Edit([](touchsim::DeviceModel& m) { m.calibration = SavedRecord(); });
        ASSERT_TRUE(VexoSource::OpenServiceChannel());
        sim_->ClearTrace();
    }
    void TearDown() override {
        VexoSource::CloseServiceChannel();
        if (sim_) sim_->Stop();
    }
    virtual touchsim::Options StreamOptions() const { return touchsim::Options{}; }

    // The calls made since SetUp, without the access polls (their number depends on timing).
    std::vector<Call> Calls() const {
        std::vector<Call> calls;
        for (const touchsim::TraceEntry& e : sim_->Trace())
            if (e.name != "GetAccessState") calls.push_back({e.name, e.payload});
        return calls;
    }
    VexoSource::CalibrationRecord ServiceCalibration() const { return sim_->Model().calibration; }

    // The calibration covers the whole screen and some tests read its pixels.
    guitest::ScreenLock screen_;
    // Message boxes the calibration shows on its way out are answered without showing them.
    guitest::MessageBoxes fixtureBoxes_;
    std::unique_ptr<touchsim::Simulator> sim_;
    guitest::LanguageDir lang_{EnglishTexts()};
};

using guitest::Do;
using guitest::ModalWindow;
using guitest::PauseMs;
using guitest::Step;

enum class BoxAnswer { Done, Cancel, Wait };  // Wait: let the box run out

inline DlgTBox* ModalBox() { return ModalWindow<DlgTBox>(); }

// Acts like the user while the calibration runs modally: the steps in order (a ModalScript), and
// the answer to the confirmation box whenever one is up. Also notes the box's question.
class UserDriver {
public:
    // onBox runs once when the confirmation box is up, before it is answered.
    UserDriver(std::vector<Step> steps, BoxAnswer answer, std::function<void()> onBox = nullptr)
        : script_(std::move(steps), kWatchdogMs), answer_(answer), onBox_(std::move(onBox)) {
        script_.SetInterruption([this] { return HandleBox(); });
    }

    bool StepsFinished() const { return script_.Finished(); }
    bool WatchdogFired() const { return script_.WatchdogFired(); }
    int BoxesSeen() const { return boxesSeen_; }
    wxString BoxQuestion() const { return question_; }

private:
    // True while a confirmation box is up: the steps wait for it.
    bool HandleBox() {
        DlgTBox* box = ModalBox();
        if (!box) return false;
        if (box != answered_) {
            answered_ = box;
            ++boxesSeen_;
            question_ = box->GetTitle();
            if (onBox_) onBox_();
            if (answer_ != BoxAnswer::Wait) {
                wxWindow* button =
                    box->FindWindow(answer_ == BoxAnswer::Done ? int(DlgTBox::ID_DONE) : int(DlgTBox::ID_CANCEL));
                if (button) {
                    wxCommandEvent click(wxEVT_BUTTON, button->GetId());
                    click.SetEventObject(button);
                    button->GetEventHandler()->AddPendingEvent(click);
                }
            }
        }
        return true;
    }

    guitest::ModalScript script_;
    BoxAnswer answer_;
    std::function<void()> onBox_;
    DlgTBox* answered_ = nullptr;
    int boxesSeen_ = 0;
    wxString question_;
};

}  // namespace calibtest
