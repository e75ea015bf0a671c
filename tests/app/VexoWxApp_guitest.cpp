// Start-up, the main window's run and shutdown as the program performs them, against the simulated
// service on the fixed port (each test has its own network namespace, and with it a single-instance
// guard of its own).
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/AppTestSupport.h"
#include "app/CPMainFrame.h"
#include "app/VexoWxApp.h"
#include "platform/InstanceGuard.h"
#include "platform/ModuleFolder.h"
#include "servicelink/VexoRPC.h"

using VexoPlatform::InstanceGuard;
using guitest::MessageBoxes;
using guitest::SimService;


namespace {

// True while something holds the guard (a probe of its own cannot take it).
bool GuardHeld() {
    InstanceGuard probe(kInstanceGuardName);
    return probe.Acquire() == InstanceGuard::State::HeldElsewhere;
}

bool AnyMainFrameShown() {
    for (wxWindow* w : wxTopLevelWindows)
        if (dynamic_cast<CPMainFrame*>(w) && w->IsShown()) return true;
    return false;
}

// While the main window's modal loop runs: waits for it, runs check, then presses Cancel. A
// watchdog ends the loop if the window never closes.
void CloseWhenShown(std::function<void(CPMainFrame&)> check, bool* seen) {
    guitest::RunLater(50, [check, seen] {
        CPMainFrame* frame = guitest::ModalWindow<CPMainFrame>();
        if (!frame) {
            CloseWhenShown(check, seen);
            return;
        }
        *seen = true;
        check(*frame);
        guitest::Click(frame->m_pCancel);
        guitest::EndModalLater(frame, 20000);
    });
}

class AppRun : public ::testing::Test {
protected:
    void SetUp() override {
        apptest::AppEnvironment::ResetProcessValues();
        boxes_.OnShow([this](const guitest::ShownBox&) { windowShownAtBox_ = windowShownAtBox_ || AnyMainFrameShown(); });
    }
    void TearDown() override { apptest::AppEnvironment::ResetProcessValues(); }
    MessageBoxes boxes_;
    bool windowShownAtBox_ = false;
    LogCapture log_;
};

}  // namespace

TEST_F(AppRun, NoServiceEndsStartUpWithItsMessage) {
    std::string folder;
    ASSERT_TRUE(VexoPlatform::GetExecutableFolder(folder));
    EXPECT_FALSE(AppStartUp());
    EXPECT_TRUE(log_.Contains("Debug - Current path " + folder + " ")) << "the data files' folder is logged";
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"The touch service does not answer. Please start it and try again."});
    EXPECT_EQ(boxes_.Shown()[0].caption, "");
    EXPECT_EQ(VexoSource::g_pServiceChannel, nullptr);
    EXPECT_TRUE(wxTopLevelWindows.empty());
    EXPECT_FALSE(GuardHeld());
    EXPECT_TRUE(log_.Contains("Information - Configuration Entry"));
    EXPECT_TRUE(log_.Contains("Information - Configuration Exit"));
    EXPECT_TRUE(log_.Contains("Config ")) << "the start-up tag";
}

TEST_F(AppRun, LaterInstancesAreRefusedAndLeaveTheRunningOnesGuardAlone) {
    SimService service(false);
    ASSERT_TRUE(service.started());
    InstanceGuard running(kInstanceGuardName);  // the first instance
    ASSERT_EQ(running.Acquire(), InstanceGuard::State::Held);
    for (int launch = 2; launch <= 4; ++launch) {
        SCOPED_TRACE(launch);
        boxes_.Clear();
        EXPECT_FALSE(AppStartUp());
        EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"The configuration program is already running."});
        EXPECT_EQ(g_pInstanceGuard, nullptr);
        EXPECT_TRUE(running.Held());
        EXPECT_TRUE(GuardHeld()) << "the running instance keeps its guard";
        EXPECT_EQ(VexoSource::g_pServiceChannel, nullptr) << "the channel is stopped at the early end";
        EXPECT_TRUE(log_.Contains("Information - Another instance holds " + running.Address() + " (process " +
                                  std::to_string(getpid()) + " of user "));
        EXPECT_TRUE(log_.Contains("Information - Configuration Exit"));
    }
    // Once the running instance has ended, the next start takes the guard.
    running.Release();
    boxes_.Clear();
    ASSERT_TRUE(AppStartUp());
    EXPECT_TRUE(boxes_.Texts().empty());
    EXPECT_TRUE(GuardHeld());
    EXPECT_EQ(AppShutDown(), 0);
    EXPECT_FALSE(GuardHeld());
}

TEST_F(AppRun, StartUpReadingDecidesWhetherTheWindowShows) {
    struct Row {
        const char* name;
        uint8_t versionByte;
        uint32_t requiredVersion;
        std::vector<std::string> messages;
        bool windowShown;
        bool productSeriesAsked;
    } rows[] = {
        {"version below 2.0", 19, 20,
         {"The device firmware is older than 2.0 and is not supported.",
          "Device undetected,Please insert device!"},
         false, false},
        {"newer configuration required", 26, 30, {"This device needs a newer configuration program."}, false, true},
        {"version 2.5 asks no series", 25, 30, {}, true, false},
        {"accepted device", 26, 20, {}, true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        touchsim::DeviceModel model;
        model.versionByte = r.versionByte;
        model.requiredConfigVersion = r.requiredVersion;
        SimService service(false, model);
        ASSERT_TRUE(service.started());
        apptest::AppEnvironment::ResetProcessValues();
        ASSERT_TRUE(AppStartUp());
        bool seen = false;
        if (r.windowShown) CloseWhenShown([](CPMainFrame&) {}, &seen);
        EXPECT_EQ(AppRunMainWindow(), 0);
        EXPECT_EQ(AppShutDown(), 0);
        EXPECT_EQ(seen, r.windowShown);
        EXPECT_EQ(windowShownAtBox_, false) << "no message while the window shows";
        EXPECT_EQ(boxes_.Texts(), r.messages);
        EXPECT_EQ(!service.Calls("GetProductSeries").empty(), r.productSeriesAsked);
        if (r.versionByte == 25) {
            EXPECT_EQ(g_RequiredConfigVersion, 0u);
        }
        EXPECT_FALSE(GuardHeld()) << "shutdown releases the guard";
        EXPECT_EQ(VexoSource::g_pServiceChannel, nullptr);
        boxes_.Clear();
    }
}

TEST_F(AppRun, ClosingTheWindowEndsTheRunCleanly) {
    SimService service(false);
    ASSERT_TRUE(AppStartUp());
    EXPECT_TRUE(GuardHeld());
    bool seen = false;
    std::string touches;
    CloseWhenShown(
        [&](CPMainFrame& frame) {
            guitest::WaitUntil([&] { return apptest::Value(frame.m_pFirmware) == "2.6"; }, guitest::kPassMs);
            touches = apptest::Value(frame.m_pTouches);
        },
        &seen);
    EXPECT_EQ(AppRunMainWindow(), 0);
    EXPECT_TRUE(seen);
    EXPECT_EQ(touches, "10");
    EXPECT_TRUE(boxes_.Shown().empty());
    guitest::Pump(guitest::kShortMs);
    EXPECT_EQ(guitest::ModalWindow<CPMainFrame>(), nullptr);
    EXPECT_EQ(AppShutDown(), 0);
    EXPECT_FALSE(GuardHeld());
    // Closing with Cancel applies nothing.
    for (const std::string& name : service.CallNames()) EXPECT_NE(name, "SetDeviceConfig");
}
