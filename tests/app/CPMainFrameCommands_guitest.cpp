// The main window's commands driven through its controls, checked in the simulated service's trace.
#include "app/CPMainFrame.h"

#include <gtest/gtest.h>

#include <wx/app.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "device/FactoryResetScenario.h"
#include "device/MainFrameRules.h"
#include "dialogs/DlgAdvSetting.h"
#include "guisupport/ModalScript.h"
#include "guisupport/GuiTest.h"
#include "platform/DisplayOrientation.h"
#include "platform/ProcessLauncher.h"
#include "servicelink/VexoRPC.h"
#include "support/PackedValue.h"
#include "support/TraceRecords.h"

using namespace VexoSource;
using namespace guitest;
using tracetest::Find;
using tracetest::Names;
using tracetest::Writes;
using tracetest::PayloadAs;

namespace {

using Trace = std::vector<touchsim::TraceEntry>;

// A device whose stored orientation matches the display, so that the device watch itself never
// writes anything: every Set* and ResetDevice in a trace comes from the command under test.
touchsim::DeviceModel QuietDevice() {
    touchsim::DeviceModel model;
    model.deviceIds = {"0102030405060708", "1112131415161718"};
    model.multiConfig[kOrientationItem] = touchsim::DeviceModel::StoredItem(kOrientationItem, kOrientationItemLength, 0);
    // Further data of its own, which must never turn up in another item the window writes.
    std::memset(model.multiConfig[kOrientationItem].data + 8, 0x6D, sizeof(MultiConfigRecord::data) - 8);
    model.deviceConfig.mouseMode = 0;
    model.deviceConfig.multiTouchMode = 1;
    return model;
}

class MainFrameCommands : public ::testing::Test {
protected:
    void SetUp() override {
        previousOrientation_ = VexoPlatform::SetDisplayOrientationSource([] { return 0u; });
        previousStarter_ = VexoPlatform::SetProcessStarter([this](const std::vector<std::string>& argv, bool) {
            started_.push_back(argv.empty() ? std::string() : argv[0]);
            return startSucceeds_;  // false: as if the updater were missing
        });
        service_ = std::make_unique<SimService>(true, QuietDevice());
        ASSERT_TRUE(service_->started());
        NewFrame();
    }
    void TearDown() override {
        if (frame_) {
            frame_->Destroy();
            Pump(kShortMs);
        }
        service_.reset();
        VexoPlatform::SetProcessStarter(previousStarter_);
        VexoPlatform::SetDisplayOrientationSource(previousOrientation_);
    }

    touchsim::Simulator& sim() { return service_->sim(); }

    // A freshly loaded window with its device watch running.
    void NewFrame() {
        if (frame_) frame_->Destroy();
        frame_ = new CPMainFrame();
        ASSERT_EQ(frame_->Initialize(), 1);
    }

    // Shows the window modally while the script runs; false when the script's watchdog had to
    // end it. `allSteps` tells whether the window was still open for the script's last step.
    bool RunWindow(std::vector<Step> steps, bool* allSteps = nullptr) {
        ModalScript script(std::move(steps));
        frame_->ShowModal();
        if (allSteps)
            *allSteps = script.Finished();
        else
            EXPECT_TRUE(script.Finished());
        return !script.WatchdogFired();
    }

    bool LockIsFree() {
        if (frame_->m_requestLock.TryLock() != wxMUTEX_NO_ERROR) return false;
        frame_->m_requestLock.Unlock();
        return true;
    }

    CPMainFrame* frame_ = nullptr;
    std::unique_ptr<SimService> service_;
    MessageBoxes boxes_;
    std::vector<std::string> started_;
    bool startSucceeds_ = false;
    VexoPlatform::ProcessStarter previousStarter_;
    VexoPlatform::OrientationSource previousOrientation_;
};

}  // namespace

TEST_F(MainFrameCommands, MouseThenDoneWritesTheModeResetsTheDeviceAndCloses) {
    bool applyEnabled = false;
    ASSERT_TRUE(RunWindow({Pause(10), Do([&] { SelectRadio(frame_->m_pMouse); }), Pause(2),
                           Do([&] { applyEnabled = frame_->m_pApply->IsEnabled(); }),
                           Do([&] { Click(frame_->m_pDone); })}));
    EXPECT_TRUE(applyEnabled);
    const Trace trace = sim().Trace();
    EXPECT_EQ(Writes(trace), (std::vector<std::string>{"SetDeviceConfig", "ResetDevice"}));
    // Read, modify, write and reset in one locked sequence.
    const std::vector<std::string> names = Names(trace);
    auto set = std::find(names.begin(), names.end(), "SetDeviceConfig");
    ASSERT_NE(set, names.end());
    ASSERT_NE(set, names.begin());
    EXPECT_EQ(*(set - 1), "GetDeviceConfig");
    ASSERT_NE(set + 1, names.end());
    EXPECT_EQ(*(set + 1), "ResetDevice");
    const auto config = PayloadAs<DeviceConfigRecord>(*Find(trace, "SetDeviceConfig"));
    EXPECT_EQ(Value(config.mouseMode), 1u);
    EXPECT_EQ(Value(config.multiTouchMode), 0u);
    EXPECT_EQ(Value(config.value7), 3333u);  // the rest as read
    EXPECT_FALSE(frame_->IsModal());
}

TEST_F(MainFrameCommands, DoneAfterAFailedWriteResetsNothingAndKeepsTheWindowOpen) {
    struct Row {
        const char* name;
        uint32_t code;  // the request whose reply is cut
        size_t bytes;   // what is left of that reply
        std::vector<std::string> writes;
    } rows[] = {
        {"GetDeviceConfig without payload", GetDeviceConfig, 0, {}},
        {"GetDeviceConfig short (the rest would be stale)", GetDeviceConfig, 10, {}},
        {"SetDeviceConfig without payload", SetDeviceConfig, 0, {"SetDeviceConfig"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        NewFrame();
        // Only the command talks to the service: the watch would take the cut reply otherwise.
        frame_->VexoSource::VexoThread::Stop();
        boxes_.Clear();
        sim().ClearTrace();
        bool openAfterDone = false, applyStillOn = false;
        ASSERT_TRUE(RunWindow({Do([&] { SelectRadio(frame_->m_pMouse); }), Pause(2), Do([&] {
                                   sim().CutNextReply(r.code, r.bytes);
                                   Click(frame_->m_pDone);
                               }),
                               Pause(5), Do([&] {
                                   openAfterDone = frame_->IsModal();
                                   applyStillOn = frame_->m_pApply->IsEnabled();
                                   Click(frame_->m_pCancel);
                               })}));
        EXPECT_TRUE(openAfterDone);
        EXPECT_TRUE(applyStillOn);
        EXPECT_EQ(Writes(sim().Trace()), r.writes) << "and no ResetDevice";
        EXPECT_EQ(boxes_.Texts(),
                  std::vector<std::string>{"The settings could not be written to the device. Please try again."});
        EXPECT_TRUE(LockIsFree());
    }
}

TEST_F(MainFrameCommands, DiscardedOrUnchangedModeSendsNothing) {
    struct Row {
        const char* name;
        std::function<std::vector<Step>(CPMainFrame&)> script;
    } rows[] = {
        {"mode then Cancel",
         [](CPMainFrame& f) {
             return std::vector<Step>{Do([&f] { SelectRadio(f.m_pMouse); }), Pause(3), Do([&f] { Click(f.m_pCancel); })};
         }},
        {"mode then close box",
         [](CPMainFrame& f) {
             return std::vector<Step>{Do([&f] { SelectRadio(f.m_pMouse); }), Pause(3), Do([&f] { f.Close(false); })};
         }},
        {"Apply without a change",
         [](CPMainFrame& f) {
             return std::vector<Step>{Do([&f] { Click(f.m_pApply); }), Pause(3),
                                      [&f] { return f.IsModal(); },  // still open
                                      Do([&f] { Click(f.m_pCancel); })};
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        NewFrame();
        sim().ClearTrace();
        ASSERT_TRUE(RunWindow(r.script(*frame_)));
        EXPECT_TRUE(Writes(sim().Trace()).empty());
        EXPECT_EQ(Value(sim().Model().deviceConfig.multiTouchMode), 1u);
    }
}

struct FactoryCase {
    const char* name;
    int answer;
    bool busy;
    const char* failAfter;  // the call whose successor gets an empty reply, or nullptr
    uint32_t readMouse, readMulti;
    std::vector<std::string> calls;
};

TEST_F(MainFrameCommands, FactoryResetSendsTheManufacturerRecordsInOrderAndStopsAtTheFirstFailure) {
    // The watch's first pass has read the orientation item (its further data are not zero); then
    // the watch is stopped so that the trace holds the command's requests only.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::vector<std::string> names = Names(sim().Trace());
            const auto item = std::find(names.begin(), names.end(), "GetMultiConfig");
            return item != names.end() && std::find(item, names.end(), "GetDeviceConfig") != names.end();
        },
        kPassMs));
    frame_->Release();
    const std::vector<std::string> everything = factorytest::WholeRun();
    const FactoryCase rows[] = {
        {"both flags 0", wxYES, false, nullptr, 0, 0, everything},
        {"mouse kept", wxYES, false, nullptr, 1, 0, everything},
        {"GetEffects fails", wxYES, false, "GetDeviceConfig", 0, 1,
         {"GetAccessState", "GetDeviceConfig", "GetEffects"}},
        {"SetEffects fails", wxYES, false, "SetDeviceConfig", 0, 1,
         {"GetAccessState", "GetDeviceConfig", "GetEffects", "GetCalibration", "SetMultiConfig", "SetDeviceConfig",
          "SetEffects"}},
        {"answered No", wxNO, false, nullptr, 0, 1, {}},
        {"device busy", wxYES, true, nullptr, 0, 1, {"GetAccessState"}},
    };
    for (const FactoryCase& r : rows) {
        SCOPED_TRACE(r.name);
        sim().Edit([&](touchsim::DeviceModel& m) { factorytest::SeedDevice(m, r.readMouse, r.readMulti); });
        sim().SetBusy(r.busy);
        const std::string failAfter = r.failAfter ? r.failAfter : "";
        bool heldAtEveryRequest = true;
        sim().SetTraceListener([this, failAfter, &heldAtEveryRequest](const touchsim::TraceEntry& e) {
            // On the service's thread, while the requester waits for this reply: the reset's
            // requests and the watch's alike are made under the window's lock.
            heldAtEveryRequest = heldAtEveryRequest && !LockIsFree();
            if (!failAfter.empty() && e.name == failAfter) sim().SendTwentyByteNextReply();
        });
        sim().ClearTrace();
        boxes_.Answer(r.answer);
        const size_t boxesBefore = boxes_.Shown().size();
        LogCapture log;

        ASSERT_TRUE(RunWindow({Do([&] { Click(frame_->m_pManuSetting); }), Pause(3),
                               Do([&] { Click(frame_->m_pCancel); })}));
        sim().SetTraceListener(nullptr);
        sim().SetBusy(false);

        ASSERT_EQ(boxes_.Shown().size(), boxesBefore + 1);
        EXPECT_EQ(boxes_.Shown().back().text, "Reset to manufacturer setting?");
        EXPECT_EQ(boxes_.Shown().back().caption, "");
        EXPECT_TRUE(boxes_.Shown().back().style & wxYES_NO);
        // A destructive answer is never the default: Return alone answers No.
        EXPECT_TRUE(boxes_.Shown().back().style & wxNO_DEFAULT);
        const Trace trace = sim().Trace();
        EXPECT_EQ(Names(trace), r.calls);
        EXPECT_TRUE(LockIsFree());
        EXPECT_TRUE(heldAtEveryRequest);
        EXPECT_EQ(log.Contains("Get response failed! "), r.failAfter != nullptr);

        factorytest::ExpectManufacturerWrites(trace, r.readMouse, r.readMulti);
        if (r.calls == everything) {
            // What the device now stores as item 2: the flag off and nothing of item 13.
            EXPECT_EQ(BytesOf(sim().Model().multiConfig.at(2)), BytesOf(touchsim::DeviceModel::StoredItem(2, 0)));
        }
    }
}

TEST_F(MainFrameCommands, AdvancedSettingsOpenUnderTheWindowLockOrReportABusyDevice) {
    // Busy: the message, no dialog, nothing read.
    sim().SetBusy(true);
    sim().ClearTrace();
    bool dialogSeen = false;
    boxes_.OnShow([&](const ShownBox&) { dialogSeen = dialogSeen || ModalWindow<DlgAdvSetting>() != nullptr; });
    ASSERT_TRUE(RunWindow({Do([&] { Click(frame_->m_pAdvanced); }), Pause(5), Do([&] { Click(frame_->m_pCancel); })}));
    ASSERT_EQ(boxes_.Texts(), (std::vector<std::string>{"Device was resetting,Please try later"}));
    EXPECT_EQ(boxes_.Shown().back().style & wxYES_NO, 0);
    EXPECT_FALSE(dialogSeen);
    EXPECT_EQ(Find(sim().Trace(), "GetEffects"), nullptr);
    EXPECT_TRUE(Writes(sim().Trace()).empty());
    sim().SetBusy(false);

    // Accessible: the dialog shows the service's values while the window's lock is held; Done
    // without a change sends nothing.
    sim().ClearTrace();
    NewFrame();
    bool lockHeld = false;
    std::vector<int> positions;
    bool rightClick = false;
    ASSERT_TRUE(RunWindow({Do([&] { Click(frame_->m_pAdvanced); }), [] { return ModalWindow<DlgAdvSetting>() != nullptr; },
                           Do([&] {
                               DlgAdvSetting* d = ModalWindow<DlgAdvSetting>();
                               lockHeld = !LockIsFree();
                               for (int id : {DlgAdvSetting::ID_RCLICK_SLIDER, DlgAdvSetting::ID_DCLICK_SLIDER,
                                              DlgAdvSetting::ID_RANGE_SLIDER, DlgAdvSetting::ID_SMOOTH_SLIDER})
                                   positions.push_back(dynamic_cast<wxSlider*>(d->FindWindow(id))->GetValue());
                               rightClick = ChildLabelled<wxCheckBox>(d, wxT("Right Click Simulation"))->GetValue();
                               Click(d->m_pDone);
                           }),
                           [] { return ModalWindow<DlgAdvSetting>() == nullptr; }, Pause(3),
                           Do([&] { Click(frame_->m_pCancel); })}));
    EXPECT_TRUE(lockHeld);
    EXPECT_TRUE(LockIsFree());
    EXPECT_TRUE(rightClick);
    EXPECT_EQ(positions, (std::vector<int>{20, 5, 3, 1}));
    EXPECT_NE(Find(sim().Trace(), "GetEffects"), nullptr);
    EXPECT_TRUE(Writes(sim().Trace()).empty());
}

// Yes closes the window only when the updater has started; when it cannot start (none installed),
// the user is told, the failure is logged and the window stays.
TEST_F(MainFrameCommands, UpdaterAnsweredYesClosesTheWindowOnlyWhenItStarted) {
    struct Row {
        const char* name;
        int answer;
        bool starts;  // what the starter reports
        bool tried, closes;
        std::vector<std::string> boxes;
    } rows[] = {
        {"Yes, updater started", wxYES, true, true, true, {"Run the update application and quit current configuration application?"}},
        {"Yes, no updater", wxYES, false, true, false,
         {"Run the update application and quit current configuration application?",
          "The update application could not be started."}},
        {"No", wxNO, true, false, false, {"Run the update application and quit current configuration application?"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        started_.clear();
        startSucceeds_ = r.starts;
        boxes_.Clear();
        boxes_.Answer(r.answer);
        NewFrame();
        LogCapture log;
        bool openAfterAnswer = false;
        ASSERT_TRUE(RunWindow({Do([&] { Click(frame_->m_pUpdate); }), Pause(10), Do([&] { Click(frame_->m_pCancel); })},
                              &openAfterAnswer));
        EXPECT_EQ(boxes_.Texts(), r.boxes);
        EXPECT_EQ(openAfterAnswer, !r.closes);
        EXPECT_EQ(started_.size(), r.tried ? 1u : 0u);
        if (!started_.empty()) {
            EXPECT_EQ(started_[0], VexoPlatform::UpdaterPath());
        }
        EXPECT_EQ(log.Contains("Exception - The updater " + VexoPlatform::UpdaterPath() + " could not be started"),
                  r.tried && !r.starts);
        EXPECT_TRUE(Writes(sim().Trace()).empty());
    }
}

// What the service sees: a command given after choosing the other device reaches that device.
TEST_F(MainFrameCommands, ACommandAfterChoosingAnotherDeviceIsAddressedToIt) {
    size_t chosenAt = 0;
    ASSERT_TRUE(RunWindow({[&] { return frame_->m_pDeviceChoice->GetCount() == 2; },
                           Do([&] { SelectComboItem(frame_->m_pDeviceChoice, 1); }), Pause(3), Do([&] {
                               chosenAt = sim().Trace().size();
                               SelectRadio(frame_->m_pMouse);
                           }),
                           Pause(2), Do([&] { Click(frame_->m_pApply); }),
                           [&] { return Find(sim().Trace(), "SetDeviceConfig") != nullptr; },
                           Do([&] { Click(frame_->m_pCancel); })}));
    const Trace trace = sim().Trace();
    ASSERT_GT(trace.size(), chosenAt);
    for (size_t i = chosenAt; i < trace.size(); ++i)
        EXPECT_EQ(trace[i].selector, touchsim::SelectorOf("1112131415161718")) << trace[i].name;
}

// Each simulated device holds its own records: choosing the second device reads and shows its
// values, with its selector at the head of the requests.
TEST_F(MainFrameCommands, ChoosingAnotherDeviceReadsAndShowsThatDevicesValues) {
    const std::string secondId = "1112131415161718";
    sim().Edit([&](touchsim::DeviceModel& m) {
        touchsim::DeviceRecords& second = m.OwnRecords(secondId);
        second.touches = 4;
        second.inches = 32;
        second.versionByte = 27;
        second.deviceConfig.mouseMode = 1;
        second.deviceConfig.multiTouchMode = 0;
    });
    struct Shown {
        std::string touches, screen, firmware;
        bool multiTouch = false, mouse = false;
    } first, second;
    auto look = [this](Shown& s) {
        s.touches = ToUtf8(frame_->m_pTouches->GetValue());
        s.screen = ToUtf8(frame_->m_pScreenSize->GetValue());
        s.firmware = ToUtf8(frame_->m_pFirmware->GetValue());
        s.multiTouch = frame_->m_pMultiTouch->GetValue();
        s.mouse = frame_->m_pMouse->GetValue();
    };
    size_t chosenAt = 0;
    // The firmware field shows the version once a refresh of the watch has come.
    ASSERT_TRUE(RunWindow({[&] { return frame_->m_pDeviceChoice->GetCount() == 2 && frame_->m_pFirmware->GetValue() == "2.6"; },
                           Do([&] { look(first); }), Do([&] {
                               // Chosen between two passes of the watch (its lock held meanwhile),
                               // so that no pass reads one device and shows it as the other.
                               frame_->m_requestLock.Lock();
                               chosenAt = sim().Trace().size();
                               SelectComboItem(frame_->m_pDeviceChoice, 1);
                           }),
                           Pause(3), Do([&] { frame_->m_requestLock.Unlock(); }),
                           [&] { return frame_->m_pTouches->GetValue() == "4"; }, Do([&] {
                               look(second);
                               Click(frame_->m_pCancel);
                           })}));
    EXPECT_EQ(first.touches, "10");
    EXPECT_EQ(first.screen.substr(0, 3), "65 ");
    EXPECT_EQ(first.firmware, "2.6");
    EXPECT_TRUE(first.multiTouch);
    EXPECT_FALSE(first.mouse);
    EXPECT_EQ(second.touches, "4");
    EXPECT_EQ(second.screen.substr(0, 3), "32 ");
    EXPECT_EQ(second.firmware, "2.7");
    EXPECT_FALSE(second.multiTouch);
    EXPECT_TRUE(second.mouse);
    const Trace trace = sim().Trace();
    ASSERT_GT(trace.size(), chosenAt);
    for (size_t i = chosenAt; i < trace.size(); ++i)
        EXPECT_EQ(trace[i].selector, touchsim::SelectorOf(secondId)) << trace[i].name;
}

// The pen flag stored in item 2 of the chosen device shows ticked in the advanced settings, read
// with item id 2 and that device's selector.
TEST_F(MainFrameCommands, AdvancedSettingsShowThePenFlagStoredInItem2) {
    const std::string secondId = "1112131415161718";
    sim().Edit([&](touchsim::DeviceModel& m) {
        m.OwnRecords(secondId).multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 1);
    });
    bool firstPen = true, secondPen = false;
    auto advancedPen = [this](bool& pen) {
        return std::vector<Step>{Do([this] { Click(frame_->m_pAdvanced); }),
                                 [] { return ModalWindow<DlgAdvSetting>() != nullptr; }, Do([&pen] {
                                     DlgAdvSetting* d = ModalWindow<DlgAdvSetting>();
                                     pen = ChildLabelled<wxCheckBox>(d, wxT("Pen Simulation"))->GetValue();
                                     Click(d->m_pCancel);
                                 }),
                                 [] { return ModalWindow<DlgAdvSetting>() == nullptr; }};
    };
    std::vector<Step> steps{[&] { return frame_->m_pDeviceChoice->GetCount() == 2; }};
    for (Step& s : advancedPen(firstPen)) steps.push_back(std::move(s));
    steps.push_back(Do([&] {
        SelectComboItem(frame_->m_pDeviceChoice, 1);
        sim().ClearTrace();
    }));
    steps.push_back(Pause(3));
    for (Step& s : advancedPen(secondPen)) steps.push_back(std::move(s));
    steps.push_back(Do([&] { Click(frame_->m_pCancel); }));
    ASSERT_TRUE(RunWindow(std::move(steps)));
    EXPECT_FALSE(firstPen) << "the first device stores 0";
    EXPECT_TRUE(secondPen);
    const Trace trace = sim().Trace();
    const touchsim::TraceEntry* read = nullptr;
    for (const auto& e : trace)
        if (e.name == "GetMultiConfig" && e.payload.size() == 48 && e.payload[0] == 2) read = &e;
    ASSERT_NE(read, nullptr) << "no GetMultiConfig of item 2";
    const MultiConfigRecord asked = PayloadAs<MultiConfigRecord>(*read);
    EXPECT_EQ(Value(asked.itemId), 2u);
    EXPECT_EQ(read->selector, touchsim::SelectorOf(secondId));
    EXPECT_TRUE(Writes(trace).empty()) << "item 2 exists: nothing written afresh";
}
