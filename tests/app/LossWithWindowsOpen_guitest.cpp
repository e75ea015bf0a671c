// The device lost, the service killed for good, or a termination signal while the device is
// silent, with each kind of window open over the main window: every open window ends, the user is
// told once (a lost device or service), and the program ends with status 0 and its instance
// guard free. The built QlnCfg against the touchsim program, each run on an X server and with a
// runtime folder of its own.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/ProgramScenes.h"
#include "device/CalibrationSession.h"
#include "app/ProgramSupport.h"

using faults::kCallBoundMs;
using faults::kSlackMs;
using faults::kStopBoundMs;
using programtest::MainWindows;
using programtest::ProgramRun;
using programtest::Reach;
using programtest::ShownWindow;

namespace {

// The watch asks about every pass interval while a dialog is open (3 s), twice before it calls
// the device lost (each up to its reply bound); a stopped service is given 5 s to come back. Then
// the windows close: the calibration puts its record back (two requests, each up to their bound
// on a silent device).
constexpr long long kNoticeMs = 3000 + 2 * kCallBoundMs;
constexpr long long kServiceReturnMs = 5000;
constexpr long long kPutBackMs = 2 * kCallBoundMs;
constexpr long long kToMessageMs = kNoticeMs + kServiceReturnMs + kPutBackMs + 2 * kSlackMs;
// From the answer to the message to the process's end: the workers stop.
constexpr long long kMessageToEndMs = kStopBoundMs + 2 * kSlackMs;
// The bound the program keeps from a termination signal to its end, whatever runs.
constexpr long long kSignalEndMs = 5000 + kSlackMs;

struct Opener {
    const char* name;
    Reach reach;
};

// The dialogs, each a run of its own (the calibration's put-back on a silent device is slow), and
// the boxes: two tables per fault, so that each stays well inside a test's time.
const std::vector<Opener>& Dialogs() {
    using namespace programtest;
    static const std::vector<Opener> openers = {
        {"advanced settings", OpenByClick(kAdvancedX, kAdvancedY)},
    };
    return openers;
}

// The calibration: its put-back is tried again for a while against a silent service, and when it
// was never answered the user hears that too, before or after the loss itself.
const std::vector<Opener>& Calibrations() {
    using namespace programtest;
    static const std::vector<Opener> openers = {
        {"calibration targets", StartCalibration},
        {"calibration confirmation box", ReachConfirmation},
    };
    return openers;
}

const std::vector<Opener>& Boxes() {
    using namespace programtest;
    static const std::vector<Opener> openers = {
        {"factory reset question", OpenByClick(kFactoryX, kFactoryY)},
        {"update question", OpenByClick(kUpdateX, kUpdateY)},
        // The device busy: the advanced settings command says so in a message box.
        {"message box",
         [](ProgramRun& run, faults::TouchsimProcess& service, const std::string& mainWindow) {
             return service.Command("busy on") && OpenByClick(kAdvancedX, kAdvancedY)(run, service, mainWindow);
         }},
    };
    return openers;
}

// The lost device's or service's message, alone: the main window hidden and every other window gone.
// A message box is titled with the program's name, the main window with the name and its version.
bool MessageAlone(const std::vector<ShownWindow>& ws) {
    return ws.size() == 1 && ws.front().name == "Touch Frame Configuration";
}

class LossWithWindowsOpen : public ::testing::Test {
protected:
    void SetUp() override {
        if (!programtest::ProgramAvailable() || !faults::TouchsimProcess::Available())
            GTEST_SKIP() << "QlnCfg and touchsim must be beside the test binary";
        ASSERT_TRUE(display_.Start()) << "a private X server";
    }

    // Runs the program up to opener's window; the run, or nullptr (a failure) when not reached.
    std::unique_ptr<ProgramRun> Open(const Opener& opener) {
        service_.reset();  // the fixed ports are free again
        service_ = std::make_unique<faults::TouchsimProcess>();
        if (!service_->Start()) {
            ADD_FAILURE() << "touchsim";
            return nullptr;
        }
        auto run = std::make_unique<ProgramRun>();
        EXPECT_TRUE(run->Start(program_, display_.Name(), {"XDG_RUNTIME_DIR=" + runtime_.Path()}));
        if (!programtest::WaitForMainWindow(*run)) {
            ADD_FAILURE() << "no main window";
            return nullptr;
        }
        const std::string mainWindow = MainWindows(display_.Name(), run->Pid()).front().id;
        if (!opener.reach(*run, *service_, mainWindow)) {
            ADD_FAILURE() << "window not opened";
            return nullptr;
        }
        return run;
    }

    // The user is told once: the message alone, answered with Return, and then the end.
    void ExpectToldOnceThenEnded(ProgramRun& run) {
        if (!programtest::WaitForWindows(run, MessageAlone, kToMessageMs)) {
            int status = -1;
            const bool ended = run.Process().WaitExit(0, &status);
            std::string output;
            for (const std::string& line : run.Process().Lines()) output += line + "\n";
            FAIL() << "the message alone; the program " << (ended ? "has ended, status " + std::to_string(status) : "runs")
                   << "; its output:\n" << output;
        }
        programtest::Xdotool(display_.Name(), "key Return");
        int status = -1;
        ASSERT_TRUE(run.Process().WaitExit(kMessageToEndMs, &status)) << "no end after the message was answered";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_TRUE(programtest::GuardFree()) << "a new start would be refused";
        for (const char* warning : {"Gtk-CRITICAL", "Gtk-WARNING", "Atk-CRITICAL"})
            EXPECT_FALSE(run.Process().HasLine(warning)) << warning;
    }

    // The calibration's end: at most two messages (the previous calibration not restored, the
    // loss), each alone and answered with Return, and then the end.
    void ExpectCalibrationToldThenEnded(ProgramRun& run) {
        constexpr long long kRestoreMs = VexoSource::CalibrationSession::kRestoreRetryMs + kCallBoundMs;
        int told = 0;
        while (told < 2 && programtest::WaitForWindows(run, MessageAlone, kToMessageMs + kRestoreMs)) {
            programtest::Xdotool(display_.Name(), "key Return");
            ++told;
            // Gone before the next one is looked for.
            programtest::WaitForWindows(
                run, [](const std::vector<ShownWindow>& ws) { return ws.empty(); }, kMessageToEndMs);
            if (!run.Process().Running()) break;
        }
        EXPECT_GE(told, 1) << "no message alone";
        // The record the calibration cleared was never put back: the last message, the one the
        // loss cannot close, says so.
        EXPECT_TRUE(run.Process().HasLine("the loss message says so too"));
        int status = -1;
        ASSERT_TRUE(run.Process().WaitExit(kMessageToEndMs, &status)) << "no end after " << told << " messages";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_TRUE(programtest::GuardFree()) << "a new start would be refused";
        for (const char* warning : {"Gtk-CRITICAL", "Gtk-WARNING", "Atk-CRITICAL"})
            EXPECT_FALSE(run.Process().HasLine(warning)) << warning;
    }

    // The service stays, but stops answering: the device is gone.
    void DeviceLost(const std::vector<Opener>& openers) {
        for (const Opener& opener : openers) {
            SCOPED_TRACE(opener.name);
            std::unique_ptr<ProgramRun> run = Open(opener);
            if (!run) continue;
            ASSERT_TRUE(service_->Command("unplug"));
            ExpectToldOnceThenEnded(*run);
        }
    }

    void ServiceKilled(const std::vector<Opener>& openers) {
        for (const Opener& opener : openers) {
            SCOPED_TRACE(opener.name);
            std::unique_ptr<ProgramRun> run = Open(opener);
            if (!run) continue;
            service_->Kill();
            ExpectToldOnceThenEnded(*run);
        }
    }

    // The calibration open when the device is lost (unplug) or the service killed.
    void CalibrationLoss(bool killed) {
        for (const Opener& opener : Calibrations()) {
            SCOPED_TRACE(opener.name);
            std::unique_ptr<ProgramRun> run = Open(opener);
            if (!run) continue;
            if (killed)
                service_->Kill();
            else
                ASSERT_TRUE(service_->Command("unplug"));
            ExpectCalibrationToldThenEnded(*run);
        }
    }

    void SignalWhileSilent(const std::vector<Opener>& openers) {
        for (const Opener& opener : openers) {
            SCOPED_TRACE(opener.name);
            std::unique_ptr<ProgramRun> run = Open(opener);
            if (!run) continue;
            // Every request the windows' ends make now waits out its bound.
            ASSERT_TRUE(service_->Command("unplug"));
            const faults::Clock::time_point start = faults::Clock::now();
            ASSERT_TRUE(run->Process().Signal(SIGTERM));
            int status = -1;
            EXPECT_TRUE(run->Process().WaitExit(kSignalEndMs, &status)) << "no end within the bound";
            std::printf("[ figure ] %s: ended %lld ms after the signal\n", opener.name, faults::MsSince(start));
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
            EXPECT_TRUE(programtest::GuardFree());
        }
    }

    programtest::PrivateDisplay display_;
    programtest::ProgramFolder program_;
    programtest::OwnedFolder runtime_;
    std::unique_ptr<faults::TouchsimProcess> service_;
};

}  // namespace

TEST_F(LossWithWindowsOpen, TheDeviceLostEndsEveryDialogAndTellsTheUserOnce) { DeviceLost(Dialogs()); }
TEST_F(LossWithWindowsOpen, TheDeviceLostEndsEveryBoxAndTellsTheUserOnce) { DeviceLost(Boxes()); }
TEST_F(LossWithWindowsOpen, TheServiceKilledForGoodEndsEveryDialogAndTellsTheUserOnce) { ServiceKilled(Dialogs()); }
TEST_F(LossWithWindowsOpen, TheServiceKilledForGoodEndsEveryBoxAndTellsTheUserOnce) { ServiceKilled(Boxes()); }
TEST_F(LossWithWindowsOpen, TheDeviceLostEndsTheCalibrationAndTellsTheUser) { CalibrationLoss(false); }
TEST_F(LossWithWindowsOpen, TheServiceKilledForGoodEndsTheCalibrationAndTellsTheUser) { CalibrationLoss(true); }
TEST_F(LossWithWindowsOpen, ASignalEndsTheProgramWithinItsBoundWhileTheDeviceIsSilent) {
    std::vector<Opener> all = Dialogs();
    all.insert(all.end(), Calibrations().begin(), Calibrations().end());
    all.insert(all.end(), Boxes().begin(), Boxes().end());
    SignalWhileSilent(all);
}
