// Fault scenarios of the whole program against a misbehaving touch service (each GUI test runs in
// its own network namespace, so the service's fixed ports are private): the service killed while
// the main window watches it or in the middle of the factory reset, and the program closed while
// the service hangs in the middle of a watch pass. The end state is checked: the messages, the
// window closed or gone, what the service received, and every thread stopped within its bound
// (under ASan/TSan also that nothing touches a stopped thread's stack or a destroyed object).
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/AppTestSupport.h"
#include "app/CPMainFrame.h"
#include "app/VexoWxApp.h"
#include "servicelink/FaultsSupport.h"
#include "servicelink/VexoRPC.h"
#include "support/ThreadActivity.h"

using apptest::AppEnvironment;
using apptest::FramePtr;
using apptest::ShownFrame;
using apptest::Value;
using faults::Clock;
using faults::kCallBoundMs;
using faults::kSlackMs;
using faults::kStopBoundMs;
using faults::MsSince;
using guitest::MessageBoxes;
using guitest::WaitUntil;


namespace {

constexpr const char* kDeviceLost = "Device undetected,Please insert device!";
constexpr const char* kServiceStopped = "The touch service does not answer. Please start it and try again.";


std::string ReadLine(const std::string& path) {
    std::string line;
    std::getline(std::ifstream(path), line);
    return line;
}

// Threads of this process that are not the toolkit's own: ours keep the process's name, while
// the toolkit starts named helpers of its own (gmain, gdbus, ...) whenever it likes.
int OwnThreadCount() {
    const std::string name = ReadLine("/proc/self/comm");
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.' && ReadLine(std::string("/proc/self/task/") + e->d_name + "/comm") == name) ++n;
        closedir(d);
    }
    return n;
}

// The lines a user sees in the log (Information and Exception) from the one that says the
// reconnecting starts on, up to and including the first line that contains `end`. A restarting
// service refuses connections for seconds: its attempts, every 200 ms, must not fill the log.
std::vector<std::string> ReconnectLines(const LogCapture& log, const std::string& end) {
    std::vector<std::string> seen;
    bool started = false;
    for (const std::string& line : log.Lines()) {
        started = started || line.find("Connection to the touch service lost") != std::string::npos;
        if (!started) continue;
        if (line.find("Information - ") != std::string::npos || line.find("Exception - ") != std::string::npos)
            seen.push_back(line);
        if (line.find(end) != std::string::npos) break;
    }
    return seen;
}

// The service as the touchsim program on the fixed ports, and the program's channel open to it.
class KilledService : public ::testing::Test {
protected:
    void SetUp() override {
        if (!faults::TouchsimProcess::Available()) GTEST_SKIP() << "touchsim is not beside the test binary";
        ASSERT_TRUE(service.Start({"--no-stream"}));
        ASSERT_TRUE(VexoSource::OpenServiceChannel());
    }
    void TearDown() override { VexoSource::CloseServiceChannel(); }
    faults::TouchsimProcess service;
};

// The service is gone for good: the watch connects again for a few seconds, then says that the
// service stopped (not that the frame went) and the window closes.
TEST_F(KilledService, StoppedForGoodIsReportedAsTheServiceAndTheWindowCloses) {
    AppEnvironment env;
    apptest::WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Value(frame->m_pFirmware) == "2.6"; }, guitest::kPassMs));
    MessageBoxes boxes;
    LogCapture log;

    service.Kill();
    // The next pass starts at once and notices the closed connection without waiting for a reply;
    // the clock is moved over the reconnect attempts.
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(passes.AdvanceUntil([&] { return !boxes.Shown().empty(); }));
    EXPECT_FALSE(log.Contains("RPC FendrelRPC failed")) << "the pass waited for a reply that could not come";
    EXPECT_TRUE(log.Contains("Information - Connection to the touch service lost: connecting again for up to 5000 ms"));
    EXPECT_TRUE(log.Contains("Exception - The touch service did not come back within 5000 ms"));
    // One line when the reconnecting starts, one when it gives up; none per refused attempt.
    const std::vector<std::string> said = ReconnectLines(log, "did not come back");
    EXPECT_EQ(said.size(), 2u) << testing::PrintToString(said);
    EXPECT_FALSE(log.Contains("Connect(127.0.0.1, 28875) failed"));
    guitest::Pump(guitest::kShortMs);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kServiceStopped});
    EXPECT_FALSE(frame->IsShown());
    EXPECT_EQ(VexoSource::g_pServiceChannel->Connection()->connected, 0);

    // The watch has ended by itself; stopping it is immediate.
    EXPECT_TRUE(faults::ReturnsAtOnce([&] { frame.reset(); }));
}

// The service restarts (an upgrade, a crash restarted by its supervisor) 0.2 s after it went: the
// watch connects to the new one and carries on; the window stays and shows the device again.
TEST_F(KilledService, RestartedServiceIsUsedAgainAndTheWindowStays) {
    AppEnvironment env;
    apptest::WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Value(frame->m_pFirmware) == "2.6"; }, guitest::kPassMs));
    MessageBoxes boxes;
    LogCapture log;

    service.Kill();
    const int refreshesBefore = passes.Refreshes();
    ASSERT_TRUE(passes.Next());  // this pass finds the connection closed
    ASSERT_TRUE(WaitUntil([&] { return log.Contains("Connection to the touch service lost"); }, guitest::kEventMs));
    guitest::Pump(200);
    faults::TouchsimProcess restarted;  // the same ports
    ASSERT_TRUE(restarted.Start({"--no-stream", "--device", "0102030405060708:touches=7"}));

    // The watch's attempts run on the real clock here: well within their five seconds.
    ASSERT_TRUE(WaitUntil([&] { return passes.Refreshes() > refreshesBefore; }, int(VexoSource::kServiceReturnMs)));
    ASSERT_TRUE(passes.Next());
    EXPECT_TRUE(WaitUntil([&] { return Value(frame->m_pTouches) == "7"; }, guitest::kPassMs))
        << "the restarted service's device is shown";
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_TRUE(frame->IsShown());
    EXPECT_TRUE(log.Contains("Information - The touch service answers again"));
    // One line when the reconnecting starts, one when the service is back; the attempts refused
    // while it was down said nothing.
    const std::vector<std::string> said = ReconnectLines(log, "answers again");
    EXPECT_EQ(said.size(), 2u) << testing::PrintToString(said);
    EXPECT_FALSE(log.Contains("Connect(127.0.0.1, 28875) failed"));
    EXPECT_EQ(VexoSource::g_pServiceChannel->Connection()->connected, 1);
    const std::vector<std::string> calls = restarted.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "GetAccessState") << "the first request on the new connection";
}

TEST_F(KilledService, FactoryResetStopsAtTheFirstFailureAndTheWindowCloses) {
    AppEnvironment env;
    FramePtr frame = ShownFrame();
    ASSERT_EQ(frame->Running(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Value(frame->m_pFirmware) == "2.6"; }, guitest::kPassMs));
    LogCapture log;
    MessageBoxes boxes;
    boxes.Answer(wxYES);  // "Reset to manufacturer setting?"
    // Slow replies, and the service dies the moment it has received item 2 of the reset.
    ASSERT_TRUE(service.Command("delay 150"));
    service.KillOnCall("SetMultiConfig code=50 sel=36 expect=1 payload=48:02000000");

    guitest::Click(frame->m_pManuSetting);
    // The failed item ends the reset at once; the next watch pass tries the service again for a
    // few seconds and then reports it stopped.
    ASSERT_TRUE(WaitUntil([&] { return boxes.Shown().size() >= 2; },
                          3 * kCallBoundMs + 2 * guitest::kPassMs + VexoSource::kServiceReturnMs + kSlackMs));
    guitest::Pump(guitest::kShortMs);

    // What the service received ends with the item it died on: nothing was sent after the failure.
    std::vector<std::string> calls = service.Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 4, calls.end()),
              (std::vector<std::string>{"GetDeviceConfig", "GetEffects", "GetCalibration", "SetMultiConfig"}));
    EXPECT_TRUE(log.Contains("Exception - Get response failed! "));
    EXPECT_EQ(boxes.Texts().back(), kServiceStopped);
    EXPECT_EQ(boxes.Shown().size(), 2u);
    EXPECT_FALSE(frame->IsShown());
}

// A device whose stored orientation is the display's: the watch itself writes nothing.
touchsim::DeviceModel SettledDevice() {
    touchsim::DeviceModel model;
    model.multiConfig[13] = touchsim::DeviceModel::StoredItem(13, 28, 0);
    return model;
}

// Every way the service can be lost between two passes of the watch. A connection that ends is
// made again for a few seconds: a service that takes it is used on (the window stays, nothing is
// said); one that does not is reported as stopped. A service that keeps the connection but answers
// nothing is a lost device. Either end: the window hides, says so once on the GUI thread, closes,
// and nothing more is asked. The clock is moved over the requests' bounds and the reconnect
// attempts (no answer can end them). A kill of the service's process is KilledService's.
struct Loss {
    const char* name;
    void (*cause)(touchsim::Simulator&);
    const char* message;  // what the user is told; nullptr: the service is back and used on
    bool connectionEnds;  // the channel's connection is gone afterwards
    const char* logged;   // a line the loss leaves in the log
};
void PrintTo(const Loss& l, std::ostream* os) { *os << l.name; }

class LostService : public ::testing::TestWithParam<Loss> {};

TEST_P(LostService, TheWatchReconnectsOrReportsItOnceAndTheWindowCloses) {
    AppEnvironment env;
    VexoPlatform::SetDisplayOrientationSource([] { return 0u; });
    guitest::SimService service(true, SettledDevice());
    ASSERT_TRUE(service.started());
    apptest::WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Value(frame->m_pFirmware) == "2.6"; }, guitest::kEventMs));
    MessageBoxes boxes;
    bool shownDuringMessage = true, onGuiThread = false;
    boxes.OnShow([&](const guitest::ShownBox&) {
        shownDuringMessage = frame->IsShown();
        onGuiThread = wxThread::IsMain();
    });
    LogCapture log;

    GetParam().cause(service.sim());
    const int refreshesBefore = passes.Refreshes();
    ASSERT_TRUE(passes.Next());
    if (!GetParam().message) {
        // Back at once: the pass ends with a refresh, and the next ones are answered and shown.
        ASSERT_TRUE(passes.AdvanceUntil([&] { return passes.Refreshes() > refreshesBefore; }));
        service.sim().Edit([](touchsim::DeviceModel& m) { m.touches = 7; });
        ASSERT_TRUE(passes.Next());
        EXPECT_TRUE(WaitUntil([&] { return Value(frame->m_pTouches) == "7"; }, guitest::kEventMs));
        EXPECT_TRUE(boxes.Shown().empty());
        EXPECT_TRUE(frame->IsShown());
        EXPECT_TRUE(log.Contains(GetParam().logged));
        // Made again (said at Debug: the watch says at Information that the service is back).
        EXPECT_TRUE(log.Contains("Debug - RPC connection to the service made again"));
        EXPECT_EQ(VexoSource::g_pServiceChannel->Connection()->connected, 1);
        VexoPlatform::SetDisplayOrientationSource(nullptr);
        return;
    }
    ASSERT_TRUE(passes.AdvanceUntil([&] { return !boxes.Shown().empty(); }));
    guitest::Pump(guitest::kShortMs);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{GetParam().message});
    EXPECT_EQ(boxes.Shown()[0].caption, "");
    EXPECT_EQ(boxes.Shown()[0].style & wxOK, wxOK);
    EXPECT_FALSE(shownDuringMessage) << "hidden before the message";
    EXPECT_TRUE(onGuiThread);
    EXPECT_FALSE(frame->IsShown());
    EXPECT_TRUE(log.Contains(GetParam().logged));
    EXPECT_EQ(VexoSource::g_pServiceChannel->Connection()->connected, GetParam().connectionEnds ? 0 : 1);

    // The watch has ended: nothing more is asked however much time passes, and the receive thread
    // sleeps.
    const size_t calls = service.sim().Trace().size();
    const long switches = threadtest::ContextSwitches("rpc-receive");
    passes.Advance(3 * VexoSource::kWatchPassMs);
    guitest::Pump(500);
    EXPECT_EQ(service.sim().Trace().size(), calls);
    EXPECT_LE(threadtest::ContextSwitches("rpc-receive") - switches, 2);
    VexoPlatform::SetDisplayOrientationSource(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Watch, LostService,
    ::testing::Values(
        Loss{"Unanswering", [](touchsim::Simulator& s) { s.Unplug(); }, kDeviceLost, false,
             "Exception - RPC FendrelRPC failed"},
        Loss{"Closed", [](touchsim::Simulator& s) { s.CloseClients(); }, nullptr, false,
             "Exception - Client Closed for 0 byte was received"},
        Loss{"Reset", [](touchsim::Simulator& s) { s.ResetClients(); }, nullptr, false,
             "ECONNRESET: connection closed by remote host"},
        Loss{"ClosedAndRefused",
             [](touchsim::Simulator& s) {
                 s.RefuseConnections(true);
                 s.CloseClients();
             },
             kServiceStopped, true, "Exception - The touch service did not come back within 5000 ms"},
        // A reply comes too late, and the service then refuses the fresh connection that the next
        // request needs.
        Loss{"LateReplyThenRefused",
             [](touchsim::Simulator& s) {
                 s.DelayNextReply(VexoSource::GetAccessState, int(kCallBoundMs) + 500);
                 s.RefuseConnections(true);
             },
             kServiceStopped, true, "RPC connection reopened"}),
    [](const ::testing::TestParamInfo<Loss>& info) { return std::string(info.param.name); });

// One reply past the request bound (a ResetDevice 3.5 s late), then prompt ones: the program
// goes on showing the device and keeps its window.
TEST(SlowReply, TheProgramRecoversAndKeepsItsWindow) {
    AppEnvironment env;
    VexoPlatform::SetDisplayOrientationSource([] { return 0u; });
    guitest::SimService service(true, SettledDevice());
    ASSERT_TRUE(service.started());
    FramePtr frame = ShownFrame();
    ASSERT_EQ(frame->Running(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Value(frame->m_pFirmware) == "2.6"; }, guitest::kPassMs));
    MessageBoxes boxes;
    LogCapture log;

    service.sim().DelayNextReply(VexoSource::ResetDevice, int(kCallBoundMs) + 500);
    guitest::SelectRadio(frame->m_pMouse);
    guitest::Pump(guitest::kShortMs);
    guitest::Click(frame->m_pApply);  // GetDeviceConfig, SetDeviceConfig, then the slow ResetDevice
    ASSERT_TRUE(WaitUntil([&] { return !service.Calls("ResetDevice").empty(); }, guitest::kEventMs));
    service.sim().Edit([](touchsim::DeviceModel& m) { m.touches = 7; });
    // The watch's passes after the late reply are answered and shown.
    EXPECT_TRUE(WaitUntil([&] { return Value(frame->m_pTouches) == "7"; }, int(kCallBoundMs) + 2 * guitest::kPassMs));
    EXPECT_TRUE(frame->IsShown());
    EXPECT_TRUE(boxes.Shown().empty());
    int failures = 0;
    for (const std::string& line : log.Lines()) failures += line.find("RPC FendrelRPC failed") != std::string::npos;
    EXPECT_EQ(failures, 1) << "the slow reply only";
    // Whether the next request needed a fresh connection depends on whether the late reply had
    // come by then; either way the program is connected again.
    EXPECT_EQ(VexoSource::g_pServiceChannel->Connection()->connected, 1);
    const uint32_t mouse = service.sim().Model().deviceConfig.mouseMode;
    EXPECT_EQ(mouse, 1u) << "the mode was written";
    VexoPlatform::SetDisplayOrientationSource(nullptr);
}

// ---------------------------------------------------------------------------------------------
// The whole program's run, closed while the service hangs in the middle of a watch pass.

struct Hang {
    const char* name;
    void (*arm)(touchsim::Simulator&);
    int owedMs;  // real time until every reply the service still owes has come (or never will)
};
void PrintTo(const Hang& h, std::ostream* os) { *os << h.name; }

class ClosingWhileTheServiceHangs : public ::testing::TestWithParam<Hang> {
protected:
    void SetUp() override { AppEnvironment::ResetProcessValues(); }
    void TearDown() override { AppEnvironment::ResetProcessValues(); }
};

TEST_P(ClosingWhileTheServiceHangs, EndsWithinTheStopBoundsAndReportsNothing) {
    guitest::SimService service(false);  // start-up opens the channel itself
    ASSERT_TRUE(service.started());
    MessageBoxes boxes;
    const int threadsBefore = OwnThreadCount();
    // The clock runs with real time; it jumps once, over the wait before the pass that hangs.
    clocktest::JumpClock clock;
    ASSERT_TRUE(AppStartUp());

    bool passHung = false;
    Clock::time_point closed;
    size_t callsAtClose = 0;
    guitest::RunLater(50, [&] {
        CPMainFrame* frame = nullptr;
        WaitUntil([&] { return (frame = guitest::ModalWindow<CPMainFrame>()) != nullptr; }, guitest::kEventMs);
        if (!frame) return;
        WaitUntil([&] { return Value(frame->m_pFirmware) == "2.6"; }, guitest::kPassMs);
        GetParam().arm(service.sim());
        service.sim().ClearTrace();
        // The first pass has been shown: its requests are over. The next one starts at once.
        clock.Advance(VexoSource::kWatchPassMs + VexoSource::kWatchAfterRefreshMs);
        // It has asked for the access state and waits for an answer that does not come.
        passHung = WaitUntil([&] { return !service.Calls("GetAccessState").empty(); }, guitest::kEventMs);
        guitest::Pump(300);
        callsAtClose = service.sim().Trace().size();
        closed = Clock::now();
        guitest::Click(frame->m_pCancel);
        guitest::EndModalLater(frame, 20000);  // backstop only
    });
    EXPECT_EQ(AppRunMainWindow(), 0);
    const long long windowGoneMs = MsSince(closed);
    const Clock::time_point shuttingDown = Clock::now();
    EXPECT_EQ(AppShutDown(), 0);
    const long long shutDownMs = MsSince(shuttingDown);

    RecordProperty("window_gone_ms", std::to_string(windowGoneMs));
    RecordProperty("shut_down_ms", std::to_string(shutDownMs));
    EXPECT_TRUE(passHung);
    // The watch waits for a reply in short slices and sees its stop at once; the bound is the
    // forced end after 2000 ms.
    EXPECT_LT(windowGoneMs, kStopBoundMs + kSlackMs);
    EXPECT_LT(shutDownMs, kStopBoundMs + kSlackMs);
    EXPECT_EQ(VexoSource::g_pServiceChannel, nullptr);

    // Replies still owed arrive (or not) after everything stopped: nothing may react to them.
    service.sim().Plug();
    service.sim().SetAnswering(true);
    guitest::Pump(GetParam().owedMs);
    EXPECT_TRUE(boxes.Shown().empty()) << "a closing window is no lost device";
    EXPECT_EQ(service.sim().Trace().size(), callsAtClose) << "the pass sent nothing after the close";
    EXPECT_EQ(guitest::ModalWindow<CPMainFrame>(), nullptr);
    EXPECT_EQ(OwnThreadCount(), threadsBefore) << "the watch and the channel's receive thread have ended";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ClosingWhileTheServiceHangs,
    ::testing::Values(Hang{"Unplugged", [](touchsim::Simulator& s) { s.Unplug(); }, 1000},
                      Hang{"RepliesLate", [](touchsim::Simulator& s) { s.SetReplyDelayMs(3500); }, 4500}),
    [](const ::testing::TestParamInfo<Hang>& info) { return std::string(info.param.name); });

}  // namespace
