// Every request sequence of the device layer against a simulated service with two frames: the
// device choice is turned to the other frame as the sequence's first request arrives, and every
// request of the sequence must still reach the frame it began on.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "device/AccessWait.h"
#include "device/AdvancedSettings.h"
#include "device/CalibrationSession.h"
#include "device/DeviceChoice.h"
#include "device/DeviceProfile.h"
#include "device/DeviceStatus.h"
#include "device/FactoryReset.h"
#include "device/ProfileSettings.h"
#include "device/TouchMode.h"
#include "servicelink/VexoRPC.h"
#include "support/RpcOnlySimulator.h"
#include "touchsim/Simulator.h"

using namespace VexoSource;

namespace {

const std::string kFirst = "0102030405060708";
const std::string kSecond = "1112131415161718";

class SequenceDevice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Start());
        sim.Edit([](touchsim::DeviceModel& m) {
            m.deviceIds = {kFirst, kSecond};
            m.OwnRecords(kFirst);
            m.OwnRecords(kSecond);
        });
        ASSERT_TRUE(OpenServiceChannelAt("127.0.0.1", sim.RpcPort()));
    }
    void TearDown() override {
        sim.SetTraceListener(nullptr);
        CloseServiceChannel();
        ChooseDevice(0);
    }

    touchsim::Simulator sim{simtest::RpcOnly()};
};

// No pause at all: the session's waits are the window's event loop, which this test has none of.
CalibrationPace NoPause() {
    return CalibrationPace{[](int) {}, [] { return false; }, nullptr, nullptr};
}

}  // namespace

TEST_F(SequenceDevice, EverySequenceEndsOnTheFrameItBeganOnWhateverIsChosenMeanwhile) {
    struct Row {
        const char* name;
        std::function<void(const DeviceHandle&)> run;
    } rows[] = {
        {"status reading",
         [](const DeviceHandle& d) {
             DeviceState state;
             std::vector<VexoWString> list;
             ReadDeviceList(d, list);
             ReadDeviceState(d, state);
             std::string series;
             uint32_t required = 0;
             ReadProductSeries(d, state.info.VersionByte(), series, required);
         }},
        {"touch mode",
         [](const DeviceHandle& d) {
             DeviceConfigRecord config{};
             WriteTouchMode(d, false, config);
             RequestDeviceReset(d);
         }},
        {"factory reset",
         [](const DeviceHandle& d) {
             FactoryRecords working;
             ResetToFactory(d, working);
         }},
        {"advanced settings opened and written",
         [](const DeviceHandle& d) {
             AdvancedSettings settings;
             DeviceConfigRecord check{};
             MultiConfigRecord pen{};
             LoadAdvancedSettings(d, settings, check, pen, true);
             EffectsRecord effects{};
             WriteAdvancedSettings(d, settings.positions, true, effects, pen);
         }},
        {"profile read and written back",
         [](const DeviceHandle& d) {
             DeviceProfile profile;
             ReadDeviceProfile(d, profile);
             WriteDeviceProfile(d, profile);
             WriteProfileSettings(d, profile);
         }},
        {"reset, then wait for access",
         [this](const DeviceHandle& d) {
             // Busy for a moment after the reset: the wait asks more than once.
             sim.SetBusyAfterReset(300);
             RequestDeviceReset(d);
             AccessWait wait;
             wait.boundMs = 10000;
             wait.pollMs = 50;
             EXPECT_EQ(WaitForAccess(d, wait), AccessState::Ready);
             sim.SetBusyAfterReset(0);
         }},
        {"calibration: start, apply, put back",
         [](const DeviceHandle& d) {
             CalibrationSession session(d, NoPause());
             session.Start();
             CalibrationRecord record{};
             record.topLeft = {1, 2, 3, 4};
             session.Apply(record);
             session.RestoreSaved();
         }},
    };
    for (const auto& start : {kFirst, kSecond}) {
        const std::string other = start == kFirst ? kSecond : kFirst;
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(r.name) + ", begun on " + start);
            ASSERT_TRUE(AdoptDevice(start));
            const DeviceHandle device = ChosenDevice();
            sim.ClearTrace();
            // The user turns the choice as the first request arrives (on the service's thread).
            std::atomic<bool> turned{false};
            sim.SetTraceListener([&](const touchsim::TraceEntry&) {
                if (!turned.exchange(true)) AdoptDevice(other);
            });
            r.run(device);
            sim.SetTraceListener(nullptr);
            EXPECT_TRUE(turned.load());
            EXPECT_EQ(ChosenDevice().Selector(), touchsim::SelectorOf(other)) << "the choice was turned";
            const std::vector<touchsim::TraceEntry> trace = sim.Trace();
            EXPECT_GT(trace.size(), 1u);
            for (const touchsim::TraceEntry& e : trace)
                EXPECT_EQ(e.selector, touchsim::SelectorOf(start)) << e.Line();
        }
    }
}
