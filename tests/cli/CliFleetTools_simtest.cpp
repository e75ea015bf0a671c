// What a configuration engine needs of qlncfg-cli to bring many frames to one state without
// resetting them for nothing: the mode and the advanced settings under one reset, a profile's
// settings compared with a frame's without writing, and the settings whose stored value the shown
// position would change.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "servicelink/ServiceContract.h"
#include "support/PackedValue.h"
#include "support/TraceRecords.h"

using namespace VexoSource;
using clitest::CliResult;
using clitest::RunCli;
using nlohmann::json;
using tracetest::Names;
using tracetest::Writes;
using Calls = std::vector<std::string>;

namespace {

constexpr const char* kFirst = "0102030405060708";
constexpr const char* kSecond = "1112131415161718";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t Count(const std::vector<std::string>& names, const std::string& name) {
    return size_t(std::count(names.begin(), names.end(), name));
}

class CliFleetTools : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(clitest::CliPath().c_str(), X_OK) != 0) GTEST_SKIP() << "qlncfg-cli must be beside the test binary";
        touchsim::Options o;
        o.stream = false;  // the fixed RPC port: the test runs in its own network namespace
        sim_ = std::make_unique<touchsim::Simulator>(o);
        ASSERT_TRUE(sim_->Start());
        sim_->Edit([](touchsim::DeviceModel& m) {
            m.deviceIds = {kFirst, kSecond};
            m.OwnRecords(kFirst);
            m.OwnRecords(kSecond);
        });
    }

    CliResult Run(const std::vector<std::string>& args) {
        sim_->ClearTrace();
        return RunCli(runtime_.Path(), args);
    }

    touchsim::DeviceRecords Records(const char* id) const { return sim_->Model().ownRecords.at(id); }

    TempFolder runtime_;
    std::unique_ptr<touchsim::Simulator> sim_;
};

}  // namespace

TEST_F(CliFleetTools, AdvancedSetWritesTheModeAndTheSettingsUnderOneReset) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        uint32_t mouse, multiTouch, smooth;
        const char* said;
    } rows[] = {
        {"mouse mode with smoothing 4", {"advanced", "set", "--mode", "mouse", "--smoothing", "4"}, 1, 0, 4,
         "mouse mode and advanced settings written; device reset"},
        {"the mode alone", {"advanced", "set", "--mode", "multitouch"}, 0, 1, 4,
         "multitouch mode and advanced settings written; device reset"},
        {"the settings alone leave the mode", {"advanced", "set", "--smoothing", "2"}, 0, 1, 2,
         "advanced settings written; device reset"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const CliResult result = Run(r.args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(Has(result.out, r.said)) << result.out;
        const std::vector<std::string> names = Names(sim_->Trace());
        EXPECT_EQ(Count(names, "ResetDevice"), 1u);
        EXPECT_EQ(names[names.size() - 2], "ResetDevice") << "the reset comes after every write";
        const touchsim::DeviceRecords held = Records(kFirst);
        EXPECT_EQ(Value(held.deviceConfig.mouseMode), r.mouse);
        EXPECT_EQ(Value(held.deviceConfig.multiTouchMode), r.multiTouch);
        EXPECT_EQ(Value(held.effects.smoothValue), r.smooth);
    }

    // A write that fails after the mode: the mode stays written, nothing is reset, and the
    // message does not claim that nothing was written.
    sim_->DropNextReply(SetEffects);
    const CliResult failed = Run({"--wait", "0", "advanced", "set", "--mode", "mouse", "--smoothing", "5"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(Has(failed.err, "the mode was written; the device was not reset")) << failed.err;
    EXPECT_EQ(Writes(sim_->Trace()), (Calls{"SetDeviceConfig", "SetEffects"}));
    EXPECT_EQ(Value(Records(kFirst).deviceConfig.mouseMode), 1u);
}

TEST_F(CliFleetTools, DryRunSaysWhatASettingsImportWouldChangeAndWritesNothing) {
    sim_->Edit([](touchsim::DeviceModel& m) {
        touchsim::DeviceRecords& source = m.OwnRecords(kFirst);
        source.deviceConfig.mouseMode = 1;
        source.deviceConfig.multiTouchMode = 0;
        source.effects.smoothValue = 4;
        source.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 1);
        m.OwnRecords(kSecond).multiConfig.erase(2);
        m.OwnRecords(kSecond).deviceConfig.value7 = 0x2222;  // the frame's own: never a difference
    });
    const std::string file = runtime_.File("kiosk.json");
    ASSERT_EQ(Run({"--device", kFirst, "export", file}).status, 0);

    struct Row {
        const char* name;
        const char* device;
        bool differs;
        json differing;
        json before;  // some of the settings before, in advanced set's units
    } rows[] = {
        {"the frame the profile came from", kFirst, false, json::array(),
         {{"mode", "mouse"}, {"smoothing", 4}, {"pen", true}}},
        {"another frame: mode, effects and a missing pen item", kSecond, true,
         {"touch mode", "effects", "pen simulation item"}, {{"mode", "multitouch"}, {"smoothing", 1}, {"pen", false}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const touchsim::DeviceRecords before = Records(r.device);
        const CliResult result = Run({"--device", r.device, "--json", "import", "--settings-only", "--dry-run", file});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(Writes(sim_->Trace()).empty()) << "a dry run writes nothing";
        EXPECT_EQ(BytesOf(Records(r.device).effects), BytesOf(before.effects));
        const json j = json::parse(result.out);
        EXPECT_EQ(j["device"], r.device);
        EXPECT_EQ(j["profile_device"], kFirst);
        EXPECT_EQ(j["differs"], r.differs);
        EXPECT_EQ(j["differing"], r.differing);
        for (const auto& [key, value] : r.before.items()) EXPECT_EQ(j["before"][key], value) << key;
        EXPECT_EQ(j["after"]["mode"], "mouse");
        EXPECT_EQ(j["after"]["smoothing"], 4);
        EXPECT_EQ(j["after"]["pen"], true);
    }

    // After the import the frame holds what the profile says: the comparison and the write agree,
    // or a fleet's second run would reset every frame again.
    ASSERT_EQ(Run({"--device", kSecond, "import", "--settings-only", file}).status, 0);
    const CliResult again = Run({"--device", kSecond, "import", "--settings-only", "--dry-run", file});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(Has(again.out, "holds the settings of device 0102030405060708's profile already")) << again.out;

    // A read that is not whole is no comparison.
    sim_->CutNextReply(GetEffects, 20);
    const CliResult cut = Run({"--device", kSecond, "--json", "import", "--settings-only", "--dry-run", file});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(Has(json::parse(cut.out)["error"].get<std::string>(), "could not be read whole")) << cut.out;
}

TEST_F(CliFleetTools, AdvancedGetNamesTheSettingsStoredOffTheirPositions) {
    struct Row {
        const char* name;
        std::function<void(EffectsRecord&)> edit;
        json offPosition;
        int shownSmoothing;
    } rows[] = {
        {"as a write leaves them", [](EffectsRecord&) {}, json::array(), 1},
        {"a duration between two positions", [](EffectsRecord& e) { e.msRClickDelay = 2050; },
         {"right_click_duration"}, 1},
        {"smoothing beyond its slider", [](EffectsRecord& e) { e.smoothValue = 9; }, {"smoothing"}, 6},
        {"a click range between positions and a flag of 2",
         [](EffectsRecord& e) {
             e.msRDClickRange = 0.35f;
             e.rightClick = 2;
         },
         {"right_click", "click_range"}, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim_->Edit([&](touchsim::DeviceModel& m) {
            m.OwnRecords(kFirst).effects = touchsim::DeviceRecords().effects;
            r.edit(m.OwnRecords(kFirst).effects);
        });
        const CliResult result = Run({"advanced", "get", "--json"});
        ASSERT_EQ(result.status, 0) << result.err;
        const json j = json::parse(result.out);
        EXPECT_EQ(j["off_position"], r.offPosition);
        EXPECT_EQ(j["smoothing"], r.shownSmoothing) << "shown at the slider's end";
    }
}
