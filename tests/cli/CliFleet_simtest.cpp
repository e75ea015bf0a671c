// qlncfg-cli as a fleet's scripts use it: the calibration on record, the settings of one kiosk's
// profile copied to another frame, a reset that the next command must not trip over, and the
// edges a script meets (JSON on failure, odd spellings, a quiet standard error).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliSimulator.h"
#include "cli/CliSupport.h"
#include "cli/ProfileRecords.h"
#include "device/MainFrameRules.h"
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

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : bytes) text += {digits[b >> 4], digits[b & 15]};
    return text;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t Count(const std::vector<std::string>& names, const std::string& name) {
    return size_t(std::count(names.begin(), names.end(), name));
}

class CliFleet : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(clitest::CliPath().c_str(), X_OK) != 0) GTEST_SKIP() << "qlncfg-cli must be beside the test binary";
        sim_ = clitest::StartRpcSimulator({kFirst, kSecond});
        ASSERT_TRUE(sim_);
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

TEST_F(CliFleet, CalibrationGetShowsTheRecordTheServiceHoldsAndWritesNothing) {
    CalibrationRecord calibrated{};
    calibrated.enabled = 1;
    const uint16_t values[16] = {1200, 1300, 1310, 1290, 31500, 1250, 31450, 1290,
                                 1180, 31600, 1310, 31470, 31550, 31480, 31450, 31470};
    std::memcpy(reinterpret_cast<uint8_t*>(&calibrated) + 4, values, sizeof values);
    CalibrationRecord switchedOff = calibrated;  // points on record, calibration off
    switchedOff.enabled = 0;
    sim_->Edit([&](touchsim::DeviceModel& m) {
        m.OwnRecords(kFirst).calibration = calibrated;
        m.OwnRecords(kSecond).calibration = switchedOff;
    });

    struct Row {
        const char* name;
        const char* device;
        bool enabled;
    } rows[] = {{"calibration in force", kFirst, true}, {"calibration switched off", kSecond, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const CliResult result = Run({"--device", r.device, "calibration", "get", "--json"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(Names(sim_->Trace()), (Calls{"GetDeviceList", "GetAccessState", "GetCalibration"}));

        const CalibrationRecord held = Records(r.device).calibration;
        const json j = json::parse(result.out);
        EXPECT_EQ(j["device"], r.device);
        EXPECT_EQ(j["enabled"], r.enabled);
        EXPECT_EQ(j["enabled_flag"], Value(held.enabled));
        EXPECT_EQ(j["record"], Hex(BytesOf(held)));
        // The points in the record's order, each as its four values lie in the record.
        const char* corners[] = {"top_left", "top_right", "bottom_left", "bottom_right"};
        ASSERT_EQ(j["points"].size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            SCOPED_TRACE(corners[i]);
            CalibrationPoint p{};
            std::memcpy(&p, reinterpret_cast<const uint8_t*>(&held) + 4 + 8 * i, sizeof p);
            const json& point = j["points"][i];
            EXPECT_EQ(point["corner"], corners[i]);
            EXPECT_EQ(point["touch_x"], Value(p.touchX));
            EXPECT_EQ(point["touch_y"], Value(p.touchY));
            EXPECT_EQ(point["screen_x"], Value(p.screenX));
            EXPECT_EQ(point["screen_y"], Value(p.screenY));
        }
    }

    // For a person: whether it is in force, then the points.
    const CliResult text = Run({"calibration", "get"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(Has(text.out, "calibration:  in force (enabled flag 1)\n")) << text.out;
    EXPECT_TRUE(Has(text.out, "top-right:    touch 31500,1250  screen 31450,1290\n")) << text.out;

    // A short reply is no record: nothing is shown from it.
    sim_->CutNextReply(GetCalibration, 20);
    const CliResult cut = Run({"calibration", "get", "--json"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(Has(cut.err, "the calibration could not be read")) << cut.err;
    EXPECT_EQ(json::parse(cut.out)["exit"], 1);
}

TEST_F(CliFleet, SettingsOnlyImportCopiesTheSettingsAndLeavesTheFramesOwnRecords) {
    sim_->Edit([](touchsim::DeviceModel& m) {
        touchsim::DeviceRecords& source = m.OwnRecords(kFirst);
        source.deviceConfig.mouseMode = 1;
        source.deviceConfig.multiTouchMode = 0;
        source.deviceConfig.value7 = 0x1111;  // the frame's own, not a setting
        clitest::FillPlausibleRecords(source.deviceConfig, source.effects, source.calibration, 0x32);
        source.deviceConfig.mouseMode = 1;
        source.deviceConfig.multiTouchMode = 0;
        source.deviceConfig.value7 = 0x1111;
        source.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 1);
        source.multiConfig[13] = touchsim::DeviceModel::StoredItem(13, kOrientationItemLength, 3);

        touchsim::DeviceRecords& target = m.OwnRecords(kSecond);
        target.deviceConfig.value7 = 0x2222;
        std::memset(&target.calibration, 0x65, sizeof target.calibration);
        target.multiConfig[2] = touchsim::DeviceModel::StoredItem(2, 0);
        target.multiConfig[13] = touchsim::DeviceModel::StoredItem(13, kOrientationItemLength, 1);
    });
    const touchsim::DeviceRecords source = Records(kFirst), before = Records(kSecond);
    const std::string file = runtime_.File("kiosk.json");
    ASSERT_EQ(Run({"--device", kFirst, "export", file}).status, 0);

    const CliResult result = Run({"--device", kSecond, "import", "--settings-only", file});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Names(sim_->Trace()), (Calls{"GetDeviceList", "GetAccessState", "GetDeviceConfig", "SetMultiConfig",
                                           "SetDeviceConfig", "SetEffects", "ResetDevice", "GetAccessState"}));
    for (const char* line : {"wrote pen simulation item 2 (SetMultiConfig)\n", "wrote touch mode (SetDeviceConfig)\n",
                             "wrote effects (SetEffects)\n", "wrote device reset (ResetDevice)\n"})
        EXPECT_TRUE(Has(result.out, line)) << line << " in\n" << result.out;

    const touchsim::DeviceRecords after = Records(kSecond);
    EXPECT_EQ(Value(after.deviceConfig.mouseMode), 1u);
    EXPECT_EQ(Value(after.deviceConfig.multiTouchMode), 0u);
    EXPECT_EQ(Value(after.deviceConfig.value7), 0x2222u) << "the rest of the configuration is the frame's own";
    EXPECT_EQ(BytesOf(after.effects), BytesOf(source.effects));
    EXPECT_EQ(BytesOf(after.multiConfig.at(2)), BytesOf(source.multiConfig.at(2)));
    EXPECT_EQ(BytesOf(after.calibration), BytesOf(before.calibration)) << "calibration untouched";
    EXPECT_EQ(BytesOf(after.multiConfig.at(13)), BytesOf(before.multiConfig.at(13))) << "orientation untouched";

    // The whole profile to another frame still asks for --force.
    const CliResult whole = Run({"--device", kSecond, "import", file});
    EXPECT_EQ(whole.status, 1);
    EXPECT_TRUE(Writes(sim_->Trace()).empty());
}

TEST_F(CliFleet, ScriptFriendlyEdges) {
    struct Row {
        const char* name;
        std::function<void()> before;
        std::vector<std::string> args;
        int status;
        std::function<void(const CliResult&)> check;
    } rows[] = {
        {"a failure with --json leaves an object on standard output", [] {},
         {"--device", "0000000000000001", "status", "--json"}, 1,
         [](const CliResult& r) {
             const json j = json::parse(r.out);
             EXPECT_EQ(j["exit"], 1);
             EXPECT_TRUE(Has(j["error"].get<std::string>(), "no device 0000000000000001 is attached")) << r.out;
         }},
        {"a usage error with --json too", [] {}, {"--json", "mode", "sideways"}, 2,
         [](const CliResult& r) { EXPECT_EQ(json::parse(r.out)["exit"], 2); }},
        {"no device: devices --json is an empty list",
         [this] { sim_->Edit([](touchsim::DeviceModel& m) { m.deviceIds.clear(); }); }, {"devices", "--json"}, 0,
         [](const CliResult& r) { EXPECT_EQ(json::parse(r.out), json::array()); }},
        {"mode in capitals", [] {}, {"mode", "MOUSE", "--wait", "0"}, 0,
         [this](const CliResult& r) {
             EXPECT_TRUE(Has(r.out, "mouse mode written")) << r.out;
             EXPECT_EQ(Value(sim_->Model().deviceConfig.mouseMode), 1u);
         }},
        {"an identifier that is none", [] {}, {"--device", "12345", "status"}, 2,
         [](const CliResult& r) {
             EXPECT_TRUE(Has(r.err, "'12345' is not a device identifier (16 hexadecimal digits")) << r.err;
             EXPECT_FALSE(Has(r.err, "is attached")) << r.err;
         }},
        {"an unknown command names itself", [] {}, {"frobnicate"}, 2,
         [](const CliResult& r) { EXPECT_TRUE(Has(r.err, "unknown command 'frobnicate'")) << r.err; }},
        {"log lines only with --verbose: without", [this] { sim_->CutNextReply(GetDeviceInfo, 3); }, {"status"}, 1,
         [](const CliResult& r) {
             EXPECT_EQ(r.err, "qlncfg-cli: the device's state could not be read\n");
         }},
        {"log lines only with --verbose: with", [this] { sim_->CutNextReply(GetDeviceInfo, 3); },
         {"status", "--verbose"}, 1,
         [](const CliResult& r) {
             EXPECT_TRUE(Has(r.err, "Short reply to request 16")) << r.err;
             EXPECT_TRUE(Has(r.err, "last error [")) << r.err;
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim_->SetModel(touchsim::DeviceModel());
        sim_->Edit([](touchsim::DeviceModel& m) { m.deviceIds = {kFirst, kSecond}; });
        r.before();
        const CliResult result = Run(r.args);
        EXPECT_EQ(result.status, r.status) << result.err;
        r.check(result);
    }
}

TEST_F(CliFleet, ACommandThatResetsReturnsOnlyOnceTheDeviceIsReadyAgain) {
    // Busy for a moment after every reset, as a frame is.
    sim_->SetBusyAfterReset(1500);
    CliResult result = Run({"mode", "mouse"});
    ASSERT_EQ(result.status, 0) << result.err;
    Calls calls = Names(sim_->Trace());
    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 5),
              (Calls{"GetDeviceList", "GetAccessState", "GetDeviceConfig", "SetDeviceConfig", "ResetDevice"}));
    for (size_t i = 5; i < calls.size(); ++i) EXPECT_EQ(calls[i], "GetAccessState");
    EXPECT_EQ(result.err, "") << "no waiting line when standard error is no terminal";
    // So the next command finds it ready at once.
    result = Run({"--wait", "0", "export", runtime_.File("kiosk.json")});
    EXPECT_EQ(result.status, 0) << result.err;

    // The bound runs out after a write that was made: said so, with a status of its own.
    sim_->SetBusyAfterReset(60000);
    result = Run({"--wait", "0.5", "mode", "multitouch"});
    EXPECT_EQ(result.status, 5) << result.err;
    EXPECT_TRUE(Has(result.out, "multitouch mode written; device reset")) << result.out;
    EXPECT_TRUE(Has(result.err, "written and reset, but device 0102030405060708 was still busy after 0.5 s")) << result.err;
    EXPECT_EQ(Value(sim_->Model().deviceConfig.multiTouchMode), 1u);
    sim_->SetBusy(false);
}

// What a configuration engine needs to bring many frames to one state without resetting them for
// nothing: the mode and the advanced settings under one reset, a profile's settings compared with
// a frame's without writing, and the settings whose stored value the shown position would change.
TEST_F(CliFleet, AdvancedSetWritesTheModeAndTheSettingsUnderOneReset) {
    sim_->Edit([](touchsim::DeviceModel& m) { m.OwnRecords(kFirst); });
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

TEST_F(CliFleet, DryRunSaysWhatASettingsImportWouldChangeAndWritesNothing) {
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

TEST_F(CliFleet, AdvancedGetNamesTheSettingsStoredOffTheirPositions) {
    sim_->Edit([](touchsim::DeviceModel& m) { m.OwnRecords(kFirst); });
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
