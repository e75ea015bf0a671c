// The main window against the simulated service: what a refresh shows, the device choice following
// the service's list, and the device watch (busy device, lost service, display rotation).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"

using apptest::AppEnvironment;
using apptest::FramePtr;
using apptest::ShownFrame;
using apptest::Value;
using apptest::WatchPasses;
using guitest::kPassMs;
using guitest::MessageBoxes;
using guitest::SimService;
using guitest::WaitUntil;

namespace {


std::vector<std::string> ChoiceItems(CPMainFrame& f) {
    std::vector<std::string> items;
    for (unsigned i = 0; i < f.m_pDeviceChoice->GetCount(); ++i) items.push_back(guitest::ToUtf8(f.m_pDeviceChoice->GetString(i)));
    return items;
}

uint32_t Orientation(const touchsim::TraceEntry& setMultiConfig) {
    uint32_t value = 0xFFFFFFFFu;
    if (setMultiConfig.payload.size() >= 20) std::memcpy(&value, setMultiConfig.payload.data() + 16, 4);
    return value;
}

touchsim::DeviceModel WithOrientationItem(uint32_t orientation) {
    touchsim::DeviceModel model;
    model.multiConfig[13] = touchsim::DeviceModel::StoredItem(13, 28, orientation);
    return model;
}

}  // namespace

TEST(CPMainFrameStatus, RefreshShowsTheDevice) {
    AppEnvironment env;
    SimService service;
    ASSERT_TRUE(service.started());
    FramePtr frame(new CPMainFrame());
    ASSERT_EQ(frame->Initialize(), 1);
    // The display made during start-up runs before the version is read (no event handled yet).
    EXPECT_EQ(Value(frame->m_pFirmware), "1.0");
    frame->Show();
    EXPECT_EQ(ChoiceItems(*frame), std::vector<std::string>{"0102030405060708"});
    EXPECT_EQ(guitest::ToUtf8(frame->m_pDeviceChoice->GetValue()), "0102030405060708");
    ASSERT_FALSE(service.Calls("GetDeviceInfo").empty());
    EXPECT_EQ(service.Calls("GetDeviceInfo").front().selector, 36u) << "the reading is addressed to the chosen device";
    EXPECT_TRUE(frame->m_pMultiTouch->GetValue());
    EXPECT_FALSE(frame->m_pMouse->GetValue());

    ASSERT_TRUE(WaitUntil([&] { return Value(frame->m_pFirmware) == "2.6"; }, kPassMs));
    EXPECT_EQ(Value(frame->m_pTouches), "10");
    EXPECT_EQ(Value(frame->m_pScreenSize), "65 inches");
    EXPECT_EQ(Value(frame->m_pServiceStatus), "Running");
    EXPECT_EQ(g_ProductSeries, "Infrared");
    EXPECT_EQ(g_RequiredConfigVersion, 20u);
    EXPECT_FALSE(frame->m_pApply->IsEnabled()) << "filling the window is no change";
}

TEST(CPMainFrameStatus, DeviceValuesFollowTheService) {
    AppEnvironment env;
    touchsim::DeviceModel model;
    model.seriesText = "camera:CX1";
    model.inches = 65;
    model.runMode = 2;
    model.touches = 32;
    model.deviceConfig.mouseMode = 1;
    model.deviceConfig.multiTouchMode = 0;
    SimService service(true, model);
    WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    EXPECT_TRUE(frame->m_pMouse->GetValue());
    ASSERT_TRUE(WaitUntil([&] { return Value(frame->m_pFirmware) == "2.6"; }, kPassMs));
    EXPECT_EQ(Value(frame->m_pScreenSize), "55 inches") << "camera series";
    EXPECT_EQ(Value(frame->m_pTouches), "32");
    EXPECT_EQ(Value(frame->m_pServiceStatus), "Hardware mode");

    // The mode buttons follow the device only on the first display: later they keep the user's choice.
    frame->m_pMultiTouch->SetValue(true);
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(passes.Next());  // the pass after the first has been shown
    EXPECT_TRUE(frame->m_pMultiTouch->GetValue());
}

TEST(CPMainFrameStatus, DeviceChoiceFollowsTheDeviceList) {
    AppEnvironment env;
    SimService service;
    WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    const std::string first = "0102030405060708", second = "1111111111111111";

    service.sim().Edit([&](touchsim::DeviceModel& m) { m.deviceIds = {first, second}; });
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return ChoiceItems(*frame).size() == 2; }, guitest::kEventMs));
    EXPECT_EQ(ChoiceItems(*frame), (std::vector<std::string>{first, second}));
    EXPECT_EQ(guitest::ToUtf8(frame->m_pDeviceChoice->GetValue()), first) << "an added device does not change the choice";

    // The shown device vanishes: the first remaining one is chosen and addressed.
    service.sim().Edit([&](touchsim::DeviceModel& m) { m.deviceIds = {second}; });
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return ChoiceItems(*frame).size() == 1; }, guitest::kEventMs));
    EXPECT_EQ(ChoiceItems(*frame), std::vector<std::string>{second});
    EXPECT_EQ(guitest::ToUtf8(frame->m_pDeviceChoice->GetValue()), second);
    EXPECT_EQ(g_CurrentDeviceId, second);
    // What the service sees: the next pass addresses the remaining device.
    service.sim().ClearTrace();
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return !service.Calls("GetDeviceInfo").empty(); }, guitest::kEventMs));
    EXPECT_EQ(service.Calls("GetDeviceInfo").front().selector, 8u * 0x11u);

    // A service that answers with no device at all keeps the window and the choice as they are.
    MessageBoxes boxes;
    service.sim().Edit([&](touchsim::DeviceModel& m) { m.deviceIds.clear(); });
    service.sim().ClearTrace();
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return service.Calls("GetDeviceList").size() >= 2; }, guitest::kEventMs));
    guitest::Pump(guitest::kShortMs);
    EXPECT_TRUE(frame->IsShown());
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(ChoiceItems(*frame), std::vector<std::string>{second});
}

// The user chooses the other device while a pass is part-way through reading the first one (its
// configuration reply is slow): that reading never shows for the new choice, whose own mode the
// next pass shows. Shown for the new device, the old mode would be what Apply writes to it.
TEST(CPMainFrameStatus, ChoosingAnotherDeviceDuringAPassShowsOnlyTheChosenDevicesMode) {
    AppEnvironment env;
    const std::string first = "0102030405060708", second = "1112131415161718";
    touchsim::DeviceModel model;
    model.deviceIds = {first, second};
    touchsim::DeviceRecords& a = model.OwnRecords(first);
    a.deviceConfig.mouseMode = 0;
    a.deviceConfig.multiTouchMode = 1;
    touchsim::DeviceRecords& b = model.OwnRecords(second);
    b.deviceConfig.mouseMode = 1;
    b.deviceConfig.multiTouchMode = 0;
    b.touches = 4;
    SimService service(true, model);
    WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    ASSERT_EQ(ChoiceItems(*frame), (std::vector<std::string>{first, second}));
    EXPECT_TRUE(frame->m_pMultiTouch->GetValue());
    LogCapture log;

    service.sim().ClearTrace();
    service.sim().DelayNextReply(VexoSource::GetDeviceConfig, 1500);
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return !service.Calls("GetDeviceConfig").empty(); }, kPassMs));
    EXPECT_EQ(service.Calls("GetDeviceConfig").front().selector, 36u) << "the first device's reading is under way";
    const int refreshesAtChoice = passes.Refreshes();
    guitest::SelectComboItem(frame->m_pDeviceChoice, 1);
    // The slow pass ends and its refresh arrives after the choice.
    ASSERT_TRUE(WaitUntil([&] { return passes.Refreshes() > refreshesAtChoice; }, kPassMs));
    guitest::Pump(guitest::kShortMs);
    EXPECT_EQ(g_CurrentDeviceId, second);
    EXPECT_TRUE(log.Contains("Debug - Reading of device 36 dropped: device 164 is chosen now"));

    // The next pass reads the chosen device, and the mode buttons follow it.
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return Value(frame->m_pTouches) == "4"; }, kPassMs));
    EXPECT_TRUE(frame->m_pMouse->GetValue());
    EXPECT_FALSE(frame->m_pMultiTouch->GetValue());
    EXPECT_EQ(service.Calls("GetDeviceConfig").back().selector, 164u);
    EXPECT_FALSE(frame->m_pApply->IsEnabled()) << "showing the device's mode is no change";
}

// No thread for the watch (the system refused one): the window still opens with the start-up
// reading and its commands, and the log says that it will not follow the device.
TEST(CPMainFrameStatus, WithoutItsWatchThreadTheWindowOpensAndSaysSo) {
    AppEnvironment env;
    SimService service;
    LogCapture log;
    const auto previous = VexoSource::VexoThread::SetThreadCreator(
        [](pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) { return EAGAIN; });
    FramePtr frame(new CPMainFrame());
    const int32_t running = frame->Initialize();
    VexoSource::VexoThread::SetThreadCreator(previous);
    EXPECT_EQ(running, 1);
    EXPECT_FALSE(frame->IsStarted());
    EXPECT_TRUE(log.Contains("Exception - Thread device-watch could not be started"));
    EXPECT_TRUE(log.Contains("Exception - Device watch not started: the window will not follow the device"));
    EXPECT_EQ(ChoiceItems(*frame), std::vector<std::string>{"0102030405060708"});
}

TEST(CPMainFrameStatus, BusyDeviceKeepsTheWindowAndSkipsReading) {
    AppEnvironment env;
    SimService service;
    WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    LogCapture log;
    MessageBoxes boxes;
    service.sim().SetBusy(true);
    service.sim().ClearTrace();
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(passes.Next());  // a busy device still gets its display refreshed
    ASSERT_TRUE(WaitUntil([&] { return service.Calls("GetAccessState").size() >= 2; }, guitest::kEventMs));
    guitest::Pump(guitest::kShortMs);
    for (const std::string& name : service.CallNames()) EXPECT_EQ(name, "GetAccessState");
    EXPECT_TRUE(frame->IsShown());
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_TRUE(log.Contains("Debug - Current multi-access not available"));
    EXPECT_EQ(frame->m_requestLock.TryLock(), wxMUTEX_NO_ERROR) << "each pass released the window's lock";
    frame->m_requestLock.Unlock();
}

TEST(CPMainFrameStatus, ClosingDuringAnUnansweredPassReportsNothing) {
    AppEnvironment env;
    SimService service;
    WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    MessageBoxes boxes;
    service.sim().Unplug();
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return !service.Calls("GetAccessState").empty() && service.sim().Trace().back().name == "GetAccessState"; },
                          kPassMs));
    const size_t callsBeforeClose = service.sim().Trace().size();
    LogCapture log;
    frame->Release();  // the window closes while the pass waits for an answer
    EXPECT_EQ(frame->Running(), 0);
    // Whatever the stopped pass might still do, its request bound and the next pass lie behind this.
    passes.Advance(2 * VexoSource::kWatchPassMs);
    guitest::Pump(guitest::kShortMs);
    EXPECT_TRUE(boxes.Shown().empty()) << "a closing window is no lost device";
    EXPECT_TRUE(frame->IsShown());
    EXPECT_EQ(service.sim().Trace().size(), callsBeforeClose) << "the pass sent nothing after the close";
    EXPECT_FALSE(log.Contains("RPC FendrelRPC failed")) << "a stopped wait is no service failure";
    EXPECT_FALSE(log.Contains("RPC connection reopened"));
}

TEST(CPMainFrameStatus, RotationWritesTheOrientationOnceAndResets) {
    AppEnvironment env;
    SimService service(true, WithOrientationItem(0));
    std::atomic<uint32_t> orientation{0};
    VexoPlatform::SetDisplayOrientationSource([&orientation] { return orientation.load(); });
    WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    ASSERT_TRUE(WaitUntil([&] { return !service.Calls("GetMultiConfig").empty(); }, guitest::kEventMs));
    EXPECT_TRUE(service.Calls("SetMultiConfig").empty()) << "same orientation: nothing written";

    orientation = 1;  // the display is turned by 90 degrees
    service.sim().ClearTrace();
    // The orientation is checked on every second pass: the one after next sees the turn.
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return !service.Calls("ResetDevice").empty(); }, guitest::kEventMs));
    for (int pass = 0; pass < 4; ++pass) ASSERT_TRUE(passes.Next());  // two more checks
    ASSERT_TRUE(passes.Next());
    const auto sets = service.Calls("SetMultiConfig");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(Orientation(sets[0]), 1u);
    EXPECT_EQ(service.Calls("ResetDevice").size(), 1u);
    // The reset follows the write.
    const std::vector<std::string> names = service.CallNames();
    const auto set = std::find(names.begin(), names.end(), "SetMultiConfig");
    const auto reset = std::find(names.begin(), names.end(), "ResetDevice");
    EXPECT_LT(set - names.begin(), reset - names.begin());
    EXPECT_GE(service.Calls("GetMultiConfig").size(), 2u) << "the checks went on without writing";
}

TEST(CPMainFrameStatus, AShortOrientationReplyIsNoReply) {
    AppEnvironment env;
    SimService service(true, WithOrientationItem(0));  // as the display: nothing to write
    VexoPlatform::SetDisplayOrientationSource([] { return 0u; });
    // Item id and length only: the rest of the buffer would pass for a record without the mark.
    service.sim().CutNextReply(VexoSource::GetMultiConfig, 8);
    LogCapture log;
    FramePtr frame = ShownFrame();
    ASSERT_EQ(frame->Running(), 1);
    // The watch's first pass has ended once a device configuration was read after the item.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::vector<std::string> names = service.CallNames();
            const auto item = std::find(names.begin(), names.end(), "GetMultiConfig");
            return item != names.end() && std::find(item, names.end(), "GetDeviceConfig") != names.end();
        },
        kPassMs));
    guitest::Pump(guitest::kShortMs);
    EXPECT_EQ(service.Calls("GetMultiConfig").size(), 1u);
    EXPECT_TRUE(service.Calls("SetMultiConfig").empty());
    EXPECT_TRUE(service.Calls("ResetDevice").empty());
    EXPECT_TRUE(log.Contains("Exception - Short reply to request 49: 8 of 48 bytes"));
}

TEST(CPMainFrameStatus, ServiceWithoutOrientationGetsZeroThenTheDisplays) {
    AppEnvironment env;
    SimService service;  // the model holds no orientation item
    VexoPlatform::SetDisplayOrientationSource([] { return 3u; });
    WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    // The first pass writes orientation 0 to the missing item, the next check (two passes later)
    // the display's.
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return service.Calls("ResetDevice").size() >= 2; }, guitest::kEventMs));
    const auto sets = service.Calls("SetMultiConfig");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(Orientation(sets[0]), 0u);
    EXPECT_EQ(Orientation(sets[1]), 3u);
}

// On a Wayland desktop whose compositor cannot be asked, the watch knows nothing of the screen: the
// device keeps its stored orientation (no upright 0 written over it, no reset), the failure is said
// once, and the checks go on quietly until the display answers again.
TEST(CPMainFrameStatus, AnUnreadableDisplayLeavesTheOrientationAloneAndIsSaidOnce) {
    AppEnvironment env;
    SimService service(true, WithOrientationItem(1));
    // The program as started on a Wayland desktop whose compositor is gone; X again afterwards.
    struct NoCompositor {
        NoCompositor() {
            const char* value = std::getenv("WAYLAND_DISPLAY");
            had = value != nullptr;
            if (had) saved = value;
            setenv("WAYLAND_DISPLAY", "/nonexistent/qln-no-compositor", 1);
            VexoPlatform::SetDisplayServer(VexoPlatform::DisplayServer::Wayland);
        }
        ~NoCompositor() {
            VexoPlatform::SetDisplayServer(VexoPlatform::DisplayServer::X11);
            if (had)
                setenv("WAYLAND_DISPLAY", saved.c_str(), 1);
            else
                unsetenv("WAYLAND_DISPLAY");
        }
        bool had = false;
        std::string saved;
    } noCompositor;
    VexoPlatform::SetDisplayOrientationSource(nullptr);
    LogCapture log;
    WatchPasses passes;
    FramePtr frame = ShownFrame(&passes);
    ASSERT_EQ(frame->Running(), 1);
    for (int pass = 0; pass < 4; ++pass) ASSERT_TRUE(passes.Next());  // two more checks
    ASSERT_TRUE(passes.Next());
    EXPECT_GE(service.Calls("GetMultiConfig").size(), 3u) << "the checks went on";
    EXPECT_TRUE(service.Calls("SetMultiConfig").empty());
    EXPECT_TRUE(service.Calls("ResetDevice").empty());
    EXPECT_EQ(log.Count("Exception - Display orientation cannot be read (cannot connect to the Wayland display "
                        "/nonexistent/qln-no-compositor); the device keeps its orientation"),
              1u);

    // The display answers again, turned by 180 degrees: the next check writes it.
    VexoPlatform::SetDisplayOrientationSource([] { return 2u; });
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(passes.Next());
    ASSERT_TRUE(WaitUntil([&] { return !service.Calls("ResetDevice").empty(); }, guitest::kEventMs));
    const auto sets = service.Calls("SetMultiConfig");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(Orientation(sets[0]), 2u);
    EXPECT_EQ(log.Count("Information - Display orientation readable again"), 1u);
}
